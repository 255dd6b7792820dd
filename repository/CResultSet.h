#pragma once
// The rows of one query as a table of values. The column names are the query's field
// names upper-cased (lookups ignore case, so callers use the schema's spelling). Each
// cell is read into the value class of its field's data type, or of the type code
// declared for its column with setTypes; a NULL is a null cell. Strings are trimmed
// when trimStrings is set; long texts (memo) never are.

#include <memory>

#include "objects/DataModel.h"
#include "repository/odbc/Field.h"
#include "repository/odbc/OdbcStatement.h"

class CResultSet;
using CResultSetPtr = std::shared_ptr<CResultSet>;

class CResultSet : public DataModel {
public:
    // Takes over an executed statement; no row is read yet.
    CResultSet(std::unique_ptr<OdbcStatement> dataSet, bool trimStrings);

    // One type code per column (TYPE_INTEGER, TYPE_DOUBLE, ...), before load.
    void setTypes(VectorPtr newTypes) { types = std::move(newTypes); }
    const VectorPtr& getTypes() const { return types; }
    bool getTrimStrings() const { return trimStrings; }
    FieldType getFieldType(int index) const;

    // Reads every row and releases the statement, and with it the cursor and the locks
    // it holds. The current row is 0 when there are rows.
    CResultSet& load();

    // The current record of the statement.
    VectorPtr readRow() const;
    ObjectPtr readField(int index) const;
    ObjectPtr readTypedField(int index) const;

private:
    const OdbcStatement& current() const;
    std::string text(const OdbcValue& value, const OdbcColumn& column, bool trim) const;

    std::unique_ptr<OdbcStatement> dataSet;
    bool trimStrings;
    VectorPtr types;
};
