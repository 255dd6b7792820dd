#pragma once
// The in-memory table: column names, rows of values aligned with them, and a cursor.

#include <memory>
#include <string>

#include "objects/DataPack.h"
#include "objects/Values.h"
#include "objects/Vector.h"

class DataModel;
using DataModelPtr = std::shared_ptr<DataModel>;

class DataModel : public Object {
public:
    DataModel();

    int getColumnCount() const { return columns->size(); }
    int getRowCount() const { return rows->size(); }
    const VectorPtr& getColumnNames() const { return columns; }
    // The table takes this very vector as its names (tables may share one).
    void setColumnNames(VectorPtr names) { columns = std::move(names); }
    CString getColumnName(int column) const;
    // First column whose name equals the given one case-insensitively; error when none.
    int getColumnIndex(const CString& name) const;

    // Fits the row to the column count and appends it.
    void addRow(VectorPtr row);
    // Appends the other table's row objects themselves (both tables then share them).
    void addModel(const DataModel& other);
    Vector& getRow(int row) const;
    VectorPtr copyRow(int row) const;
    const ObjectPtr& getValue(int row, int column) const { return getRow(row).elementAt(column); }
    const ObjectPtr& getValue(int row, const CString& name) const;
    void setValue(ObjectPtr value, int row, int column);
    VectorPtr getColumnValues(int column) const;
    VectorPtr getColumnValues(const CString& name) const;
    int findRow(int column, const Object* value) const;
    // Stores the one new object into every cell equal to old; returns how many.
    int replaceValue(int column, const Object* oldValue, const ObjectPtr& newValue);

    void setCurrentRow(int row) { currentRow = row; }
    int getCurrentRow() const { return currentRow; }
    DataPackPtr getRowPack(int row) const;
    DataPackPtr getCurrentPack() const { return getRowPack(currentRow); }

    std::string toString() const override;
    ObjectPtr clone() const override;
    DataModelPtr cloneModel() const;

protected:
    explicit DataModel(int16_t type);

private:
    VectorPtr rows;
    VectorPtr columns;
    int currentRow = -1;
};
