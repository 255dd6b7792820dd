#include "objects/Vector.h"

#include "core/Utils.h"
#include "objects/Values.h"

namespace {

std::string outOfRange(int index, int count)
{
    return "Индекс " + IntToStr(index) + " за пределами вектора: [0," + IntToStr(count) + "]";
}

}  // namespace

Vector::Vector(int capacity, int growthFactor)
    : Object(TYPE_VECTOR), items(static_cast<size_t>(capacity > 0 ? capacity : 0)),
      capacity(capacity > 0 ? capacity : 0), growthFactor(growthFactor)
{
}

void Vector::ensureCapacity(int minimum)
{
    if (capacity >= minimum)
        return;
    int grown = capacity;
    while (grown < minimum) {
        // A vector that starts empty (or with factor 1) still has to reach the size needed.
        int next = grown * growthFactor;
        grown = next > grown ? next : minimum;
    }
    items.resize(static_cast<size_t>(grown));
    capacity = grown;
}

void Vector::add(ObjectPtr object)
{
    if (count == capacity)
        ensureCapacity(count + 1);
    items[static_cast<size_t>(count++)] = std::move(object);
}

const ObjectPtr& Vector::elementAt(int index) const
{
    if (index < 0 || index >= count)
        throw SystemException("Vector.elementAt(int)", outOfRange(index, count));
    return items[static_cast<size_t>(index)];
}

void Vector::set(int index, ObjectPtr object)
{
    if (index < 0 || index >= count)
        throw SystemException("Vector.set(int, Object*)", outOfRange(index, count));
    items[static_cast<size_t>(index)] = std::move(object);
}

int32_t Vector::getInt(int index) const
{
    const ObjectPtr& element = elementAt(index);
    if (!element)
        return 0;
    if (element->getType() != TYPE_INTEGER)
        throw SystemException("Vector.getInt(int)",
                              "Элемент " + IntToStr(index) + " не является целым числом: " + Object::toText(element));
    return static_cast<const CInteger&>(*element).getValue();
}

double Vector::getDouble(int index) const
{
    const ObjectPtr& element = elementAt(index);
    if (!element)
        return 0.0;
    if (element->getType() != TYPE_DOUBLE)
        throw SystemException("Vector.getDouble(int)",
                              "Элемент " + IntToStr(index) + " не является вещественным числом: " + Object::toText(element));
    return static_cast<const CDouble&>(*element).getValue();
}

void Vector::setSize(int newSize)
{
    if (newSize > count) {
        ensureCapacity(newSize);
    } else {
        for (int i = newSize < 0 ? 0 : newSize; i < count; ++i)
            items[static_cast<size_t>(i)].reset();
    }
    count = newSize < 0 ? 0 : newSize;
}

int Vector::indexOf(const Object* object) const
{
    for (int i = 0; i < count; ++i)
        if (Object::compare(items[static_cast<size_t>(i)].get(), object) == 0)
            return i;
    return -1;
}

VectorPtr Vector::range(int from, int to)
{
    auto result = std::make_shared<Vector>(10, 2);
    for (int i = from; i <= to; ++i)
        result->add(std::make_shared<CInteger>(i));
    return result;
}

VectorPtr Vector::repeat(const ObjectPtr& object, int n)
{
    auto result = std::make_shared<Vector>(10, 2);
    for (int i = 0; i < n; ++i)
        result->add(object);
    return result;
}

std::string Vector::toString() const
{
    std::string text = " | ";
    for (int i = 0; i < count; ++i)
        text += Utils::pad(Object::toText(items[static_cast<size_t>(i)]), 12, ' ') + " | ";
    return text;
}

std::string Vector::toLine() const
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += Object::toText(items[static_cast<size_t>(i)]) + "; ";
    return text;
}

ObjectPtr Vector::clone() const
{
    return cloneVector();
}

VectorPtr Vector::cloneVector() const
{
    auto copy = std::make_shared<Vector>(count, growthFactor);
    for (int i = 0; i < count; ++i) {
        const ObjectPtr& element = items[static_cast<size_t>(i)];
        copy->add(element ? element->clone() : nullptr);
    }
    return copy;
}
