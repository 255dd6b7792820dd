// How --inputs and --exclude name columns: by name, by number, and in double quotes
// when a name holds a comma.

#include <gtest/gtest.h>

#include "runtime/Runtime.h"
#include "tools/register/ColumnList.h"

namespace {

const std::vector<std::string> kHeader = {"2024", "Алкоголь, %", "sugar", "class"};

std::vector<std::string> resolved(const std::string& list)
{
    return resolveColumns(parseColumnList(list, "--inputs"), kHeader, "--inputs");
}

std::string refusal(const std::string& list)
{
    try {
        resolved(list);
    } catch (const Exception& e) {
        return e.text();
    }
    return "no error";
}

TEST(ColumnListTest, NamesNumbersAndQuotedNames)
{
    EXPECT_EQ(resolved("sugar, 2024"), (std::vector<std::string>{"sugar", "2024"})) << "a name before a number";
    EXPECT_EQ(resolved("1,3"), (std::vector<std::string>{"2024", "sugar"}));
    EXPECT_EQ(resolved("\"Алкоголь, %\",3"), (std::vector<std::string>{"Алкоголь, %", "sugar"}));
    EXPECT_EQ(resolved("2"), (std::vector<std::string>{"Алкоголь, %"}));
}

TEST(ColumnListTest, RefusalsNameTheItem)
{
    EXPECT_EQ(refusal("\"Алкоголь, %"), "--inputs: the quote before 'Алкоголь, %' is not closed");
    EXPECT_EQ(refusal("sugar,,1"), "--inputs has an empty column name in 'sugar,,1'");
    EXPECT_EQ(refusal("9"), "--inputs: '9' is no column of the file (1 '2024', 2 'Алкоголь, %', 3 'sugar', 4 "
                            "'class'); give names, in double quotes when they hold a comma, or numbers");
}

}  // namespace
