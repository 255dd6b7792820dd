#include "objects/Object.h"

#include "core/Utils.h"
#include "objects/Values.h"

ObjectPtr Object::clone() const
{
    return nullptr;
}

std::string Object::toString() const
{
    return "Метод toString() не определен";
}

namespace {

template <class T>
int compareNumbers(T a, T b)
{
    if (a == b)
        return 0;
    if (a > b)
        return 1;
    // An unordered pair (a NaN) counts as equal.
    return a < b ? -1 : 0;
}

}  // namespace

int Object::compare(const Object* a, const Object* b)
{
    if (!a && !b)
        return 0;
    if (!a)
        return -1;
    if (!b)
        return 1;
    if (a->type != b->type)
        throw SystemException("Object.compare(Object*, Object*)", "Сравнение объектов разных типов не поддерживается");
    switch (a->type) {
    case TYPE_INTEGER:
        return compareNumbers(static_cast<const CInteger*>(a)->getValue(), static_cast<const CInteger*>(b)->getValue());
    case TYPE_DOUBLE:
        return compareNumbers(static_cast<const CDouble*>(a)->getValue(), static_cast<const CDouble*>(b)->getValue());
    case TYPE_BOOLEAN:
        return compareNumbers(static_cast<const CBoolean*>(a)->getValue(), static_cast<const CBoolean*>(b)->getValue());
    case TYPE_STRING:
        return AnsiCompareText(static_cast<const CString*>(a)->getValue(), static_cast<const CString*>(b)->getValue());
    case TYPE_DATE:
        return compareNumbers(static_cast<const CDate*>(a)->getValue(), static_cast<const CDate*>(b)->getValue());
    default:
        throw SystemException("Value.compare(Object* , Object* )",
                              "Сравнение объектов данного типа не поддерживается: " + IntToStr(a->type));
    }
}

ObjectPtr Object::convert(const ObjectPtr& value, int type)
{
    if (!value)
        return nullptr;
    if (value->type == TYPE_STRING) {
        const std::string& text = static_cast<const CString&>(*value).getValue();
        switch (type) {
        case TYPE_INTEGER:
            return std::make_shared<CInteger>(StrToInt(text));
        case TYPE_DOUBLE:
            return std::make_shared<CDouble>(StrToFloat(text));
        case TYPE_STRING:
            return value;
        case TYPE_DATE:
            return std::make_shared<CDate>(StrToDateTime(text));
        default:
            break;
        }
    }
    throw SystemException("Object.convert(Object*, int)", "Преобразование из типа " + IntToStr(value->type) +
                                                              " в тип " + IntToStr(type) + " не поддерживается");
}

std::string Object::toText(const Object* value)
{
    if (!value)
        return "null";
    if (value->type == TYPE_DOUBLE)
        return static_cast<const CDouble*>(value)->toString(2);
    if (value->type == TYPE_VECTOR)
        return "V";
    return value->toString();
}
