#include "sample/Dataset.h"

#include <cmath>

#include "core/Utils.h"
#include "objects/Values.h"

Dataset::Dataset(DataModelPtr dataModel) : Object(TYPE_VECTOR), dataModel(std::move(dataModel)) {}

double Dataset::numberOf(const Object* cell, const std::string& place, const std::string& what)
{
    if (cell) {
        switch (cell->getType()) {
        case TYPE_DOUBLE:
            return static_cast<const CDouble*>(cell)->getValue();
        case TYPE_INTEGER:
            return static_cast<const CInteger*>(cell)->getValue();
        case TYPE_DATE:
            return static_cast<const CDate*>(cell)->getValue();
        default:
            break;
        }
    }
    throw SystemException(place, "Значение не является числом: " + what + " = " + Object::toText(cell));
}

std::shared_ptr<Vector2> Dataset::getInRow(int row) const
{
    auto result = std::make_shared<Vector2>(inColumns->size(), 2);
    Vector& cells = dataModel->getRow(row);
    for (int j = 0; j < inColumns->size(); ++j)
        result->add(cells.elementAt(inColumns->getInt(j)));
    return result;
}

int Dataset::getValueCount(int column) const
{
    int n = 0;
    for (int i = 0; i < dataModel->getRowCount(); ++i)
        if (counted(i, column))
            ++n;
    return n;
}

VectorPtr Dataset::getValues(int column) const
{
    auto result = std::make_shared<Vector>(10, 2);
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        if (isExcluded(i))
            continue;
        const ObjectPtr& cell = dataModel->getValue(i, column);
        if (result->indexOf(cell.get()) == -1)
            result->add(cell);
    }
    return result;
}

VectorPtr Dataset::getClasses() const
{
    auto result = std::make_shared<Vector>(10, 2);
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        if (isExcluded(i))
            continue;
        const ObjectPtr& value = getOutValue(i);
        if (result->indexOf(value.get()) == -1)
            result->add(value);
    }
    return result;
}

namespace {

std::string columnPlace(const char* operation)
{
    return std::string("Dataset.") + operation + "(int)";
}

}  // namespace

// Each term is divided before it is added, as the journal's figures were always made.
double Dataset::getMean(int column) const
{
    const int n = getValueCount(column);
    if (n == 0)
        return 0.0;
    const std::string name = dataModel->getColumnName(column).getValue();
    double sum = 0.0;
    for (int i = 0; i < dataModel->getRowCount(); ++i)
        if (counted(i, column))
            sum = sum + numberOf(dataModel->getValue(i, column).get(), columnPlace("getMean"), name) / n;
    return sum;
}

double Dataset::getVariance(int column) const
{
    const int n = getValueCount(column);
    if (n == 0)
        return 0.0;
    const double m = getMean(column);
    const std::string name = dataModel->getColumnName(column).getValue();
    double sum = 0.0;
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        if (!counted(i, column))
            continue;
        const double v = numberOf(dataModel->getValue(i, column).get(), columnPlace("getVariance"), name);
        sum = sum + (v - m) * (v - m) / n;
    }
    return sum;
}

double Dataset::getShare(int column, int code) const
{
    const int n = getValueCount(column);
    if (n == 0)
        return 0.0;
    int hits = 0;
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        if (!counted(i, column))
            continue;
        const ObjectPtr& cell = dataModel->getValue(i, column);
        if (cell->getType() == TYPE_INTEGER && static_cast<const CInteger&>(*cell).getValue() == code)
            ++hits;
    }
    return static_cast<double>(hits) / n;
}

ObjectPtr Dataset::getMode(int column) const
{
    VectorPtr candidates = getValues(column);
    double best = 0.0;
    ObjectPtr result = std::make_shared<CInteger>(0);
    for (int i = 0; i < candidates->size(); ++i) {
        const ObjectPtr& candidate = candidates->elementAt(i);
        if (!candidate)
            continue;
        if (candidate->getType() != TYPE_INTEGER)
            throw SystemException("Dataset.getMode(int)", "Значение не является целым числом: " +
                                                              dataModel->getColumnName(column).getValue() + " = " +
                                                              Object::toText(candidate));
        const double s = getShare(column, static_cast<const CInteger&>(*candidate).getValue());
        if (s > best) {
            best = s;
            result = candidate;
        }
    }
    return result;
}

VectorPtr Dataset::getDeviations() const
{
    auto result = std::make_shared<Vector>(10, 2);
    for (int j = 0; j < inColumns->size(); ++j)
        result->add(std::make_shared<CDouble>(std::sqrt(getVariance(inColumns->getInt(j)))));
    return result;
}

int Dataset::replaceValue(int column, const Object* oldValue, const ObjectPtr& newValue)
{
    int replaced = 0;
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        if (isExcluded(i))
            continue;
        if (Object::compare(dataModel->getValue(i, column).get(), oldValue) == 0) {
            dataModel->setValue(newValue, i, column);
            ++replaced;
        }
    }
    return replaced;
}

void Dataset::fillNulls()
{
    for (int k = 0; k < inColumns->size(); ++k) {
        const int column = inColumns->getInt(k);
        const int type = columnTypes->getInt(column);
        if (dataModel->findRow(column, nullptr) == -1)
            continue;
        if (type == 1) {
            replaceValue(column, nullptr, std::make_shared<CDouble>(getMean(column)));
        } else if (type >= 2 && type <= 4) {
            replaceValue(column, nullptr, getMode(column));
        } else {
            throw SystemException("Dataset.fillNulls()",
                                  " Неизвестный тип колонки \"" + dataModel->getColumnName(column).getValue() + "\"");
        }
    }
}

DatasetPtr Dataset::copy() const
{
    auto result = std::make_shared<Dataset>(dataModel);
    result->columnTypes = columnTypes;
    result->inColumns = inColumns;
    result->outValues = outValues;
    result->mask = mask;
    return result;
}

ObjectPtr Dataset::clone() const
{
    auto result = std::make_shared<Dataset>(dataModel->cloneModel());
    auto deep = [](const VectorPtr& v) { return v ? v->cloneVector() : nullptr; };
    result->columnTypes = deep(columnTypes);
    result->inColumns = deep(inColumns);
    result->outValues = deep(outValues);
    result->mask = deep(mask);
    return result;
}

std::string Dataset::toString() const
{
    auto field = [](const std::string& text) { return Utils::pad(text, 12, ' ') + " | "; };
    std::string text = dataModel->getColumnNames()->toString();
    if (outValues)
        text += field("Y");
    if (mask)
        text += field("D");
    text += "\n";
    for (int i = 0; i < dataModel->getRowCount(); ++i) {
        text += dataModel->getRow(i).toString();
        if (outValues)
            text += field(Object::toText(outValues->elementAt(i)));
        if (mask)
            text += field(Object::toText(mask->elementAt(i)));
        text += "\n";
    }
    return text;
}

std::string Dataset::toShortString() const
{
    return "(" + IntToStr(dataModel->getRowCount()) + ", " + IntToStr(dataModel->getColumnCount()) + ")";
}
