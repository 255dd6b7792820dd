#pragma once
// The sample: the task's columns selected from the source database, as a Dataset whose
// last column gives the classes. Made in two steps, the source being opened between
// them: what the repository's rows alone decide is refused before any connection to
// the source is made.

#include <string>

#include "objects/DataModel.h"
#include "repository/CResultSet.h"
#include "repository/odbc/OdbcConnection.h"
#include "sample/Dataset.h"

class SampleLoader {
public:
    // The columns are the input rows, then the class column's (TskAlgParam joined with
    // DtsColumn). Builds the statement (SampleSql) and checks the logical types: known,
    // numeric inputs, a coded class column.
    SampleLoader(DataModelPtr columns, const std::string& dtsSql);

    // Runs the statement on the source as a query only, within the time limit in seconds
    // (0: none; SampleRead), each column read as its logical type's value class. A
    // result of other columns than the task's, or of no row, is no sample. A row without
    // a class belongs to no class: it takes part in no statistics and is never scored.
    DatasetPtr read(OdbcConnection& source, unsigned long timeLimit) const;

    const std::string& getStatement() const { return statement; }

private:
    void checkTypes() const;
    DatasetPtr datasetOf(const CResultSetPtr& sample) const;

    DataModelPtr columns;
    std::string statement;
    // DtsColumn.ColType of each column, and the value type it is read as.
    VectorPtr logicalTypes;
    VectorPtr declared;
};
