#include "models/fast/SampleArrays.h"

#include "objects/Values.h"
#include "runtime/Runtime.h"

std::unique_ptr<SampleArrays> SampleArrays::of(const Dataset& sample, const Vector& codes, const Vector& masks,
                                               const char* place)
{
    const DataModel& table = *sample.getDataModel();
    const Vector& inColumns = *sample.getInColumns();
    auto arrays = std::make_unique<SampleArrays>();
    arrays->rows = table.getRowCount();
    arrays->columns = inColumns.size();
    arrays->classes = codes.size();
    if (masks.size() != codes.size())
        return nullptr;
    arrays->cls.assign(static_cast<size_t>(arrays->rows), -1);
    for (int k = 0; k < masks.size(); ++k) {
        const ObjectPtr& mask = masks.elementAt(k);
        if (!mask || mask->getType() != TYPE_VECTOR)
            return nullptr;
        const Vector& entries = static_cast<const Vector&>(*mask);
        if (entries.size() != arrays->rows)
            return nullptr;
        for (int r = 0; r < arrays->rows; ++r) {
            if (entries.elementAt(r))
                continue;
            int& position = arrays->cls[static_cast<size_t>(r)];
            if (position != -1)
                return nullptr;
            position = k;
        }
    }
    std::vector<int> columnIndex(static_cast<size_t>(arrays->columns));
    for (int j = 0; j < arrays->columns; ++j)
        columnIndex[static_cast<size_t>(j)] = inColumns.getInt(j);
    arrays->x.assign(static_cast<size_t>(arrays->rows) * static_cast<size_t>(arrays->columns), 0.0);
    for (int r = 0; r < arrays->rows; ++r) {
        const int position = arrays->cls[static_cast<size_t>(r)];
        // A scored row must be a centre of exactly the class of its own output, and a
        // centre must be a scored row.
        if (sample.isExcluded(r)) {
            if (position != -1)
                return nullptr;
            continue;
        }
        if (position == -1)
            return nullptr;
        const ObjectPtr& out = sample.getOutValue(r);
        const ObjectPtr& code = codes.elementAt(position);
        if (!out || !code || out->getType() != code->getType() || Object::compare(out, code) != 0)
            return nullptr;
        const Vector& cells = table.getRow(r);
        for (int j = 0; j < arrays->columns; ++j) {
            const int column = columnIndex[static_cast<size_t>(j)];
            arrays->x[static_cast<size_t>(r) * static_cast<size_t>(arrays->columns) + static_cast<size_t>(j)] =
                Dataset::numberOf(cells.elementAt(column).get(), place,
                                  table.getColumnName(column).getValue() + ", строка " + IntToStr(r));
        }
    }
    return arrays;
}

DenseSample SampleArrays::view() const
{
    DenseSample sample;
    sample.rows = rows;
    sample.columns = columns;
    sample.classes = classes;
    sample.x = x.data();
    sample.cls = cls.data();
    return sample;
}
