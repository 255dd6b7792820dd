// What the user is shown of a failure: the box's text by the kind of error, and the
// detail line only where an error carries one.

#include "core/Utils.h"

#include <gtest/gtest.h>

namespace {

std::pair<std::string, std::string> shown(const Exception& error)
{
    const ErrorDisplay display = ErrorDisplay::of(error);
    return {display.text, display.detail};
}

TEST(ErrorDisplayTest, EachKindOfErrorHasItsOwnText)
{
    using Shown = std::pair<std::string, std::string>;
    EXPECT_EQ(shown(SystemException("RepApi(int)", "Ошибка соединения", "IM002 нет источника")),
              Shown(" RepApi(int):\nОшибка соединения", "IM002 нет источника"));
    EXPECT_EQ(shown(SystemException("Vector.elementAt(int)", "")), Shown(" Vector.elementAt(int):\n", ""));
    EXPECT_EQ(shown(ExplainedException(Exception("'5,9' is not a valid floating point value"), "ожидается '.'")),
              Shown("'5,9' is not a valid floating point value", "ожидается '.'"));
    EXPECT_EQ(shown(Exception("Access violation")), Shown("Access violation", ""));
}

}  // namespace
