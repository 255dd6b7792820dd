// Spreadsheet exports as analysts have them register without editing, and their tasks
// classify: each file of tests/tools/csv holds the iris data in another form.

#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

class RegisterExportTest : public ToolsTest {};

TEST_P(RegisterExportTest, SemicolonsDecimalCommasAndAByteOrderMark)
{
    const auto r = registerWith({"--csv=" + exportFile("iris-semicolon-bom.csv").string(), "--class", "class",
                                 "--object", "6,0;2,9;4,5;1,5"});
    const int key = keyOf(r);
    EXPECT_EQ(r.err, "dodoz-register: the table is named iris_semicolon_bom after the file (--table NAME chooses "
                     "another)\n" + decimalNote(e2e::Regional::C));
    expectVersicolor(key);
    EXPECT_EQ(fx->db().querySource("SELECT sepal_length FROM iris_semicolon_bom WHERE petal_width = 2.5").size(), 3u);
}

TEST_P(RegisterExportTest, TextClassLabelsAreCodedAndKeptInTheTaskName)
{
    const auto r = registerWith({exportFile("iris-labels.csv").string(), "--class=species", "-o", kVersicolor});
    const int key = keyOf(r);
    EXPECT_NE(r.err.find("the classes of 'species' are coded 0 setosa, 1 versicolor, 2 virginica\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(fx->db().repositoryValue("SELECT TskName FROM Task WHERE TskID = " + std::to_string(key)),
              "Classification of one object of iris_labels (classes: 0 setosa, 1 versicolor, 2 virginica)");
    expectVersicolor(key);
    const auto words = resultsWith({std::to_string(key)});
    EXPECT_NE(words.out.find("In words: the object is class 1 (versicolor), which holds"), std::string::npos)
        << words.out;
}

TEST_P(RegisterExportTest, HeaderWithSpacesAndAFileNameThatIsNoPlainName)
{
    const auto r = registerWith({exportFile("2024-iris.csv").string(), "--class", "Class", "--object", kVersicolor});
    const int key = keyOf(r);
    EXPECT_EQ(r.err,
              "dodoz-register: the table is named t_2024_iris after the file (--table NAME chooses another)\n"
              "dodoz-register: the column 'Sepal Length' is stored as Sepal_Length\n"
              "dodoz-register: the column 'Sepal Width' is stored as Sepal_Width\n"
              "dodoz-register: the column 'Petal Length (cm)' is stored as Petal_Length_cm\n"
              "dodoz-register: the column 'Petal Width' is stored as Petal_Width\n" + decimalNote(e2e::Regional::C));
    expectVersicolor(key);
}

TEST_P(RegisterExportTest, TextColumnLeftOutByInputs)
{
    const auto refused = registerWith({exportFile("iris-region.csv").string(), "--class", "class", "--object", kVersicolor});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("column region: 'Veneto' is not a number; leave the column out with --exclude region"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(taskCount(), 0);

    const int key = registered({exportFile("iris-region.csv").string(), "--class", "class", "--object", kVersicolor,
                                "--inputs", "sepal_length,sepal_width,petal_length,petal_width"});
    expectVersicolor(key);
    EXPECT_EQ(fx->db().queryRepository("SELECT ColSysName FROM DtsColumn WHERE ColSysName = 'region'").size(), 0u);
}

TEST_P(RegisterExportTest, Cp1251TabSeparatedWithCyrillicNamesAndLabels)
{
    // The first column holds the byte 0x98, which iconv refuses; it is left out.
    const std::string file = exportFile("iris-cp1251.csv").string();
    const auto refused = registerWith({file, "--class", Cp1251ToUtf8("вид"), "--object", kVersicolor});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("line 1: the byte 0xE7 is not UTF-8; give the file's encoding, e.g. --encoding cp1251"),
              std::string::npos)
        << refused.err;

    const auto r = registerWith({file, "--encoding", "cp1251", "--class", Cp1251ToUtf8("вид"), "--object", kVersicolor,
                                 "--inputs", Cp1251ToUtf8("длина чашелистика,ширина чашелистика,длина лепестка,ширина лепестка")});
    const int key = keyOf(r);
    EXPECT_NE(r.err.find(Cp1251ToUtf8("the column 'длина чашелистика' is stored as длина_чашелистика\n")),
              std::string::npos)
        << r.err;
    expectVersicolor(key);
    const auto words = resultsWith({std::to_string(key)});
    EXPECT_NE(words.out.find(Cp1251ToUtf8("class 1 (разноцветный)")), std::string::npos) << words.out;
}

TEST_P(RegisterExportTest, DecimalCommasUnderRussianRegionalSettings)
{
    DODOZ_REQUIRE(e2e::regionalUnavailable(e2e::Regional::Russian));
    const auto r = registerWith({exportFile("iris-semicolon-bom.csv").string(), "--class", "class", "--table", "iris",
                                 "--object", "6,0;2,9;4,5;1,5"},
                                e2e::Regional::Russian);
    EXPECT_EQ(r.err, decimalNote(e2e::Regional::Russian)) << "the run must read the object with a decimal comma";
    expectVersicolor(keyOf(r), e2e::Regional::Russian);
}

DODOZ_ON_EVERY_BACKEND(RegisterExportTest);

}  // namespace
}  // namespace tools
