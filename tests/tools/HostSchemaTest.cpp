// The tools on a repository with only the columns the program relies on, as a host's
// own may be: registration writes no column the tables lack, and what needs one that
// is missing (the class labels, kept in Task.TskName) says so and does without.

#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

class HostSchemaTest : public ToolsTest {
protected:
    bool onHostSchema() const override { return true; }
};

TEST_P(HostSchemaTest, RegisteredRunAndReadBackWithoutTheLabels)
{
    ASSERT_FALSE(fx->db().repositoryHasColumn("Task", "TskName"));
    const auto r = registerWith({exportFile("iris-labels.csv").string(), "--class=species", "-o", kVersicolor});
    const int key = keyOf(r);
    EXPECT_NE(r.err.find("the repository's Task has no TskName, where the class labels are kept: dodoz-results "
                         "shows the class codes only\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fx->db().queryRepository("SELECT ColID FROM TskAlgParam WHERE TskID = " + std::to_string(key)).size(), 5u);
    expectVersicolor(key);
    const auto words = resultsWith({std::to_string(key)});
    EXPECT_EQ(words.exitCode, 0) << words.err;
    EXPECT_NE(words.out.find("In words: the object is class 1, which holds"), std::string::npos) << words.out;
}

TEST_P(HostSchemaTest, ExplainedAndClassifiedAsTheRunWithoutTheLabels)
{
    const int key = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor});
    expectVersicolor(key);
    const auto explained = toolWith(DODOZ_EXPLAIN, {"--json", std::to_string(key)});
    EXPECT_EQ(explained.exitCode, 0) << explained.describe();
    EXPECT_EQ(jsonField(explained.out, "c_min_is_covering_limit"), "true") << explained.out;
    EXPECT_EQ(jsonField(explained.out, "label"), "null");
    const auto classified = toolWith(DODOZ_CLASSIFY, {std::to_string(key), "--objects", e2e::irisCsv().string(), "--csv"});
    EXPECT_EQ(classified.exitCode, 0) << classified.describe();
    const std::string shares = classified.out.substr(classified.out.find("\n79,80,1,,"));
    std::string expected;
    for (const auto& row : fx->results(key)) {
        if (row.sysName == "dens")
            expected += "," + *row.value2;
    }
    EXPECT_EQ(shares.substr(0, shares.find('\n', 1)), "\n79,80,1," + expected)
        << "row 79 of iris is the object of the task";
}

DODOZ_ON_EVERY_BACKEND(HostSchemaTest);

}  // namespace
}  // namespace tools
