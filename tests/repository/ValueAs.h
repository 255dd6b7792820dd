#pragma once
// A read value as the class the test expects; a null or another class fails with the
// value's type and text.

#include <stdexcept>
#include <string>

#include "objects/Object.h"

namespace testsupport {

template <typename T>
const T& as(const ObjectPtr& value)
{
    if (!value)
        throw std::runtime_error("null value");
    const T* typed = dynamic_cast<const T*>(value.get());
    if (!typed)
        throw std::runtime_error("value of type " + std::to_string(value->getType()) + ": " + value->toString());
    return *typed;
}

}  // namespace testsupport
