#pragma once
// Builds in-memory samples (and parameters for them) for the tests of the sample table
// and the models.

#include <initializer_list>
#include <optional>
#include <vector>

#include "objects/Values.h"
#include "sample/Dataset.h"

namespace testsupport {

// Rows of input values (nullopt = missing) and a class code per row; every input
// column is numeric (type 1), the class column is coded (type 3).
inline DatasetPtr sample(const std::vector<std::vector<std::optional<double>>>& inputs, const std::vector<int>& classes)
{
    const int columns = inputs.empty() ? 0 : static_cast<int>(inputs[0].size());
    auto model = std::make_shared<DataModel>();
    auto names = std::make_shared<Vector>();
    for (int j = 0; j < columns; ++j)
        names->add(std::make_shared<CString>("X" + std::to_string(j + 1)));
    names->add(std::make_shared<CString>("CLASS"));
    model->setColumnNames(names);
    auto out = std::make_shared<Vector>();
    for (size_t i = 0; i < inputs.size(); ++i) {
        auto row = std::make_shared<Vector>();
        for (const auto& v : inputs[i])
            row->add(v ? std::make_shared<CDouble>(*v) : nullptr);
        row->add(std::make_shared<CInteger>(classes[i]));
        model->addRow(row);
        out->add(std::make_shared<CInteger>(classes[i]));
    }
    auto types = std::make_shared<Vector>();
    for (int j = 0; j < columns; ++j)
        types->add(std::make_shared<CInteger>(1));
    types->add(std::make_shared<CInteger>(3));
    auto dataset = std::make_shared<Dataset>(model);
    dataset->setColumnTypes(types);
    dataset->setInColumns(Vector::range(0, columns - 1));
    dataset->setOutValues(model->getColumnValues(columns));
    dataset->setMask(Vector::repeat(nullptr, static_cast<int>(inputs.size())));
    return dataset;
}

inline VectorPtr reals(std::initializer_list<double> values)
{
    auto v = std::make_shared<Vector>();
    for (double x : values)
        v->add(std::make_shared<CDouble>(x));
    return v;
}

// Hand-made parameters of the class-density classifier: class codes, one mask per class
// (null entry: the row is of that class), widths.
inline VectorPtr handParams(const DatasetPtr& ds, std::initializer_list<double> widths)
{
    auto codes = ds->getClasses();
    auto masks = std::make_shared<Vector>();
    for (int k = 0; k < codes->size(); ++k) {
        auto mask = std::make_shared<Vector>();
        ObjectPtr marker = std::make_shared<CInteger>(1);
        for (int j = 0; j < ds->getDataModel()->getRowCount(); ++j)
            mask->add(!ds->isExcluded(j) && Object::compare(ds->getOutValue(j), codes->elementAt(k)) == 0 ? nullptr : marker);
        masks->add(mask);
    }
    auto p = std::make_shared<Vector>();
    p->add(codes);
    p->add(masks);
    p->add(reals(widths));
    return p;
}

}  // namespace testsupport
