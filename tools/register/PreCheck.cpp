#include "tools/register/PreCheck.h"

#include <cstdio>

#include "objects/Values.h"
#include "runtime/Runtime.h"

DatasetPtr planSample(const RegistrationPlan& plan)
{
    auto names = std::make_shared<Vector>(10, 2);
    auto types = std::make_shared<Vector>(10, 2);
    for (const auto& name : plan.inputNames) {
        names->add(std::make_shared<CString>(name));
        types->add(std::make_shared<CInteger>(1));
    }
    names->add(std::make_shared<CString>(plan.className));
    types->add(std::make_shared<CInteger>(3));
    auto table = std::make_shared<DataModel>();
    table->setColumnNames(names);
    for (size_t i = 0; i < plan.inputs.size(); ++i) {
        auto row = std::make_shared<Vector>(10, 2);
        for (const auto& v : plan.inputs[i])
            row->add(v ? std::make_shared<CDouble>(*v) : nullptr);
        row->add(plan.classes[i] ? std::make_shared<CInteger>(*plan.classes[i]) : nullptr);
        table->addRow(row);
    }
    const int k = names->size();
    auto sample = std::make_shared<Dataset>(table);
    sample->setColumnTypes(types);
    sample->setInColumns(Vector::range(0, k - 2));
    sample->setOutValues(table->getColumnValues(k - 1));
    auto mask = Vector::repeat(nullptr, table->getRowCount());
    for (int row = 0; row < table->getRowCount(); ++row) {
        if (!table->getValue(row, k - 1))
            mask->set(row, std::make_shared<CInteger>(1));
    }
    sample->setMask(mask);
    return sample;
}

PreCheck PreCheck::of(const RegistrationPlan& plan)
{
    PreCheck check;
    check.classLabels = plan.classLabels;
    DatasetPtr sample = planSample(plan);
    for (const auto& c : plan.classes)
        check.rows += c ? 1 : 0;
    if (check.rows == 0)
        return check;
    const VectorPtr sigma = sample->getDeviations();
    for (int j = 0; j < sigma->size(); ++j) {
        if (sigma->getDouble(j) == 0.0)
            check.zeroDeviation.push_back(Cp1251ToUtf8(plan.inputNames[static_cast<size_t>(j)]));
    }
    if (!check.zeroDeviation.empty())
        return check;
    FittedSample fitted(sample);
    if (!fitted.found())
        check.unreached = UnreachedRows::of(fitted, kUnreachedNamed);
    return check;
}

std::string PreCheck::findings() const
{
    std::string out;
    if (!zeroDeviation.empty()) {
        std::string names;
        for (const auto& name : zeroDeviation)
            names += (names.empty() ? "" : ",") + name;
        out += "the input column" + std::string(zeroDeviation.size() > 1 ? "s " : " ") + names +
               " hold" + (zeroDeviation.size() > 1 ? "" : "s") +
               " the same value in every row (zero deviation), which dodoz refuses; leave them out with --exclude " +
               names + "\n";
    }
    if (unreached.count > 0) {
        char c[32];
        std::snprintf(c, sizeof c, "%.2f", unreached.widestC);
        out += "even at the widest window, c = " + std::string(c) + ", " + std::to_string(unreached.count) + " of the " +
               std::to_string(rows) + " rows lie outside the windows of every class, so dodoz finds no c (\"" + noResultMessage() +
               "\"):\n";
        auto classInWords = [&](int code) {
            const bool labelled = code >= 0 && static_cast<size_t>(code) < classLabels.size();
            return "class " + std::to_string(code) + (labelled ? " (" + classLabels[static_cast<size_t>(code)] + ")" : "");
        };
        for (const auto& line : unreached.lines(classInWords))
            out += "  " + line + "\n";
        if (unreached.count > static_cast<std::int64_t>(unreached.first.size()))
            out += "  and " + std::to_string(unreached.count - static_cast<std::int64_t>(unreached.first.size())) +
                   " more\n";
        out += std::string("what to do: ") + UnreachedRows::advice() + "\n";
    }
    return out;
}
