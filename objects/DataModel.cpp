#include "objects/DataModel.h"

#include "core/Utils.h"

DataModel::DataModel() : DataModel(TYPE_VECTOR) {}

DataModel::DataModel(int16_t type)
    : Object(type), rows(std::make_shared<Vector>(10, 2)), columns(std::make_shared<Vector>(10, 2))
{
}

CString DataModel::getColumnName(int column) const
{
    return CString(columns->elementAt(column)->toString());
}

int DataModel::getColumnIndex(const CString& name) const
{
    int index = columns->indexOf(&name);
    if (index == -1)
        throw SystemException("DataModel.getColumnIndex(CString)", "Колонка с именем " + name.getValue() + " не найдена");
    return index;
}

void DataModel::addRow(VectorPtr row)
{
    row->setSize(getColumnCount());
    rows->add(std::move(row));
}

void DataModel::addModel(const DataModel& other)
{
    if (getColumnCount() != other.getColumnCount())
        throw SystemException("DataModel.addModel(DataModel*)", "Количество колонок не равно: " +
                                                                    IntToStr(getColumnCount()) + "<>" +
                                                                    IntToStr(other.getColumnCount()));
    const int count = other.getRowCount();
    for (int i = 0; i < count; ++i)
        addRow(std::static_pointer_cast<Vector>(other.rows->elementAt(i)));
}

Vector& DataModel::getRow(int row) const
{
    return static_cast<Vector&>(*rows->elementAt(row));
}

VectorPtr DataModel::copyRow(int row) const
{
    return getRow(row).cloneVector();
}

const ObjectPtr& DataModel::getValue(int row, const CString& name) const
{
    int column = getColumnIndex(name);
    return getValue(row, column);
}

void DataModel::setValue(ObjectPtr value, int row, int column)
{
    getRow(row).set(column, std::move(value));
}

VectorPtr DataModel::getColumnValues(int column) const
{
    const int count = getRowCount();
    auto result = std::make_shared<Vector>(count, 2);
    for (int i = 0; i < count; ++i) {
        const ObjectPtr& cell = getValue(i, column);
        result->add(cell ? cell->clone() : nullptr);
    }
    return result;
}

VectorPtr DataModel::getColumnValues(const CString& name) const
{
    return getColumnValues(getColumnIndex(name));
}

int DataModel::findRow(int column, const Object* value) const
{
    const int count = getRowCount();
    for (int i = 0; i < count; ++i)
        if (Object::compare(getValue(i, column).get(), value) == 0)
            return i;
    return -1;
}

int DataModel::replaceValue(int column, const Object* oldValue, const ObjectPtr& newValue)
{
    int replaced = 0;
    const int count = getRowCount();
    for (int i = 0; i < count; ++i) {
        if (Object::compare(getValue(i, column).get(), oldValue) == 0) {
            setValue(newValue, i, column);
            ++replaced;
        }
    }
    return replaced;
}

DataPackPtr DataModel::getRowPack(int row) const
{
    auto pack = std::make_shared<DataPack>();
    const int count = getColumnCount();
    for (int j = 0; j < count; ++j) {
        const ObjectPtr& cell = getValue(row, j);
        pack->put(getColumnName(j), cell ? cell->clone() : nullptr);
    }
    return pack;
}

std::string DataModel::toString() const
{
    std::string text = columns->toString() + "\n";
    const int count = getRowCount();
    for (int i = 0; i < count; ++i)
        text += getRow(i).toString() + "\n";
    return text;
}

ObjectPtr DataModel::clone() const
{
    return cloneModel();
}

DataModelPtr DataModel::cloneModel() const
{
    auto copy = std::make_shared<DataModel>();
    copy->setColumnNames(columns->cloneVector());
    const int count = getRowCount();
    for (int i = 0; i < count; ++i)
        copy->addRow(copyRow(i));
    return copy;
}
