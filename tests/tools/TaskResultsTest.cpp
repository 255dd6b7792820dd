// TaskResults read back from stored rows, without a database: the labels parsed from the
// task's name and the numbers of the JSON form.

#include <gtest/gtest.h>

#include "runtime/Runtime.h"
#include "tools/results/TaskResults.h"

namespace {

TaskResults withClasses(const std::string& name, size_t classes)
{
    TaskResults r;
    r.key = 7;
    r.name = name;
    for (size_t k = 0; k < classes; ++k)
        r.rows.push_back({"dens", std::to_string(k), std::to_string(k), "50"});
    return r;
}

using Labels = std::vector<std::string>;

TEST(TaskLabelsTest, NamesAsDodozRegisterWritesThem)
{
    EXPECT_EQ(withClasses("wine (classes: 0 barolo, 1 grignolino, 2 barbera)", 3).classLabels(),
              (Labels{"barolo", "grignolino", "barbera"}));
    EXPECT_EQ(withClasses("iris", 3).classLabels(), Labels{});
    EXPECT_EQ(withClasses("wine (classes: 0 barolo, 1 grignolino)", 0).classLabels(), Labels{})
        << "without a run the number of classes is unknown";
    EXPECT_EQ(withClasses("a (classes: 0 x) (classes: 0 y, 1 z)", 2).classLabels(), Labels{})
        << "0 'x) (classes: 0 y', 1 'z' reads as well";
}

// A label holding ", 1 " has one reading only when the count of classes settles it;
// otherwise no label is shown rather than a wrong one.
TEST(TaskLabelsTest, ListsThatHoldTheirOwnSeparators)
{
    const std::string name = "t (classes: 0 red, 1 dark, 1 blue)";
    EXPECT_EQ(withClasses(name, 2).classLabels(), Labels{}) << "0 'red, 1 dark' or 1 'dark, 1 blue'";
    EXPECT_EQ(withClasses("t (classes: 0 a, 1 b, 2 c, 1 d)", 3).classLabels(), (Labels{"a", "b", "c, 1 d"}));
    EXPECT_EQ(withClasses("t (classes: 0 a, 2 b, 1 c)", 2).classLabels(), (Labels{"a, 2 b", "c"}));
    EXPECT_EQ(withClasses("t (classes: 0 a, 1 b)", 3).classLabels(), Labels{});
    EXPECT_EQ(withClasses("t (classes: 0 a, 1 b, 2 c)", 2).classLabels(), (Labels{"a", "b, 2 c"}));

    TaskResults chosen = withClasses(name, 2);
    chosen.rows.push_back({"class", "", "1", ""});
    EXPECT_EQ(chosen.classInWords("1"), "class 1");
    EXPECT_EQ(withClasses("t (classes: 0 a, 1 b, 1 c, 1 d, 1 e, 1 f, 1 g, 1 h, 1 i)", 2).classLabels(), Labels{});
}

TEST(TaskLabelsTest, ManyClassesAndPiecesStayQuick)
{
    std::string list;
    for (int k = 0; k < 40; ++k)
        list += (k ? ", " : "") + std::to_string(k) + " x, " + std::to_string(k + 1) + " y";
    EXPECT_EQ(withClasses("t (classes: " + list + ")", 40).classLabels(), Labels{});
}

std::string jsonShare(const std::string& stored)
{
    TaskResults r;
    r.rows.push_back({"dens", "0", "0", stored});
    const std::string json = r.asJson();
    const std::string field = "\"share\": ";
    const size_t at = json.find(field) + field.size();
    return json.substr(at, json.find('}', at) - at);
}

TEST(TaskJsonTest, StoredNumbersBecomeValidJsonNumbersOfTheSameValue)
{
    for (const auto& [stored, json] : std::vector<std::pair<std::string, std::string>>{
             {"68.63", "68.63"}, {"68,63", "68.63"}, {".5", "0.5"}, {"-.5", "-0.5"}, {"5.", "5"},
             {"007", "7"}, {"-007.50", "-7.50"}, {"+5", "5"}, {"0", "0"}, {"000", "0"}, {"1e5", "1e5"},
             {"1.E+05", "1e+05"}, {" 12 ", "12"}, {"0.30000000000000004", "0.30000000000000004"}})
        EXPECT_EQ(jsonShare(stored), json) << stored;
}

TEST(TaskJsonTest, OtherTextsBecomeJsonStrings)
{
    for (const auto& [stored, json] : std::vector<std::pair<std::string, std::string>>{
             {"abc", "\"abc\""}, {".", "\".\""}, {"-", "\"-\""}, {"1e", "\"1e\""}, {"e5", "\"e5\""},
             {"0x1A", "\"0x1A\""}, {"inf", "\"inf\""}, {"NaN", "\"NaN\""}, {"1.2.3", "\"1.2.3\""},
             {"--1", "\"--1\""}, {"1e+", "\"1e+\""}, {"", "\"\""}, {"5 %", "\"5 %\""}})
        EXPECT_EQ(jsonShare(stored), json) << stored;
}

}  // namespace
