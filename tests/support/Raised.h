#pragma once
// The SystemException an action raises, for tests that check its place and message.

#include <gtest/gtest.h>

#include "core/Utils.h"

template <class F>
SystemException raised(F f)
{
    try {
        f();
    } catch (const SystemException& e) {
        return e;
    }
    ADD_FAILURE() << "no SystemException";
    return SystemException("", "");
}
