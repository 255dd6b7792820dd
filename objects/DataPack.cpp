#include "objects/DataPack.h"

#include "core/Utils.h"

DataPack::DataPack()
    : Object(TYPE_PACK), names(std::make_shared<Vector>(10, 2)), values(std::make_shared<Vector>(10, 2))
{
}

int DataPack::indexOf(const CString& name) const
{
    return names->indexOf(&name);
}

int DataPack::getIndex(const CString& name) const
{
    int index = indexOf(name);
    if (index == -1)
        throw SystemException("DataPack.getIndex(AnsiString)", "Параметр с именем " + name.getValue() + " не найден");
    return index;
}

void DataPack::put(const CString& name, ObjectPtr value)
{
    int index = indexOf(name);
    if (index == -1) {
        names->add(std::make_shared<CString>(name.getValue()));
        values->add(std::move(value));
    } else {
        values->set(index, std::move(value));
    }
}

const ObjectPtr& DataPack::get(const CString& name) const
{
    return values->elementAt(getIndex(name));
}

const ObjectPtr& DataPack::get(int index) const
{
    return values->elementAt(index);
}

const ObjectPtr& DataPack::find(const CString& name) const
{
    static const ObjectPtr absent;
    int index = indexOf(name);
    return index == -1 ? absent : values->elementAt(index);
}

int32_t DataPack::getInt(const CString& name) const
{
    return values->getInt(getIndex(name));
}

CString DataPack::getString(const CString& name) const
{
    const ObjectPtr& value = get(name);
    return value ? CString(value->toString()) : CString();
}

CString DataPack::getName(int index) const
{
    return CString(names->elementAt(index)->toString());
}

std::string DataPack::toString() const
{
    std::string text;
    for (int i = 0; i < names->size(); ++i)
        text += " " + Object::toText(names->elementAt(i)) + " = " + Object::toText(values->elementAt(i)) + "\n";
    return text;
}

ObjectPtr DataPack::clone() const
{
    auto copy = std::make_shared<DataPack>();
    for (int i = 0; i < names->size(); ++i) {
        const ObjectPtr& value = values->elementAt(i);
        copy->put(getName(i), value ? value->clone() : nullptr);
    }
    return copy;
}
