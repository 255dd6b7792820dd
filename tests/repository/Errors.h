#pragma once
// What an action raised, as text, for comparing whole error texts in expectations.

#include <functional>
#include <string>

#include "core/Utils.h"

namespace testsupport {

// The text of the Exception the action raised, or "no error".
inline std::string errorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.text();
    }
    return "no error";
}

// "place: message" of the SystemException the action raised; "not a SystemException: "
// and the text for other errors; "no error" when it raised nothing.
inline std::string systemErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const SystemException& e) {
        return e.place + ": " + e.message;
    } catch (const Exception& e) {
        return "not a SystemException: " + e.text();
    }
    return "no error";
}

}  // namespace testsupport
