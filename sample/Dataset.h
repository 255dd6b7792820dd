#pragma once
// The sample the models work on: a table plus the logical type of each column, the
// input columns, the known output of each row and a row mask (a non-null entry
// excludes the row). Subsamples are shallow copies that share all of it but the mask.

#include <memory>
#include <string>

#include "objects/DataModel.h"
#include "objects/Vector.h"

class Dataset;
using DatasetPtr = std::shared_ptr<Dataset>;

class Dataset : public Object {
public:
    explicit Dataset(DataModelPtr dataModel);

    const DataModelPtr& getDataModel() const { return dataModel; }
    const VectorPtr& getColumnTypes() const { return columnTypes; }
    void setColumnTypes(VectorPtr types) { columnTypes = std::move(types); }
    const VectorPtr& getInColumns() const { return inColumns; }
    void setInColumns(VectorPtr columns) { inColumns = std::move(columns); }
    const VectorPtr& getOutValues() const { return outValues; }
    void setOutValues(VectorPtr values) { outValues = std::move(values); }
    const VectorPtr& getMask() const { return mask; }
    void setMask(VectorPtr newMask) { mask = std::move(newMask); }

    const ObjectPtr& getOutValue(int row) const { return outValues->elementAt(row); }
    bool isExcluded(int row) const { return mask && mask->elementAt(row) != nullptr; }
    // The row's cells at the input columns, in input-column order (shared, not copied).
    std::shared_ptr<Vector2> getInRow(int row) const;

    int getValueCount(int column) const;
    VectorPtr getValues(int column) const;
    VectorPtr getClasses() const;
    double getMean(int column) const;
    double getVariance(int column) const;
    double getShare(int column, int code) const;
    ObjectPtr getMode(int column) const;
    VectorPtr getDeviations() const;
    int replaceValue(int column, const Object* oldValue, const ObjectPtr& newValue);
    // Fills the missing input cells of the included rows: the mean for numeric columns,
    // the mode for coded ones.
    void fillNulls();

    DatasetPtr copy() const;
    ObjectPtr clone() const override;
    std::string toString() const override;
    std::string toShortString() const;

    // The number a model reads from an input cell: a real, an integer or a date-time
    // number. Anything else (a text, a missing value) is an error naming the place.
    static double numberOf(const Object* cell, const std::string& place, const std::string& what);

private:
    bool counted(int row, int column) const { return !isExcluded(row) && dataModel->getValue(row, column) != nullptr; }

    DataModelPtr dataModel;
    VectorPtr columnTypes;
    VectorPtr inColumns;
    VectorPtr outValues;
    VectorPtr mask;
};
