// Whole runs that succeed: iris registered by dodoz-register, dodoz run on it, and what
// the host reads back (TskResult, TskLog) and the journal, on each backend and under
// both regional settings.

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>
#include <tuple>

#include "runtime/Runtime.h"
#include "tests/e2e/RunFixture.h"

namespace e2e {
namespace {

using Setting = std::tuple<Backend, Regional>;

struct Flower {
    const char* object;
    int expectedClass;
};

const Flower kSetosa{iris::setosa, 0};
const Flower kVersicolor{iris::versicolor, 1};
const Flower kVirginica{iris::virginica, 2};

// A number as the run writes it into a result column: digits, then at most two
// decimals after the regional separator.
double resultNumber(const Cell& cell, Regional regional)
{
    if (!cell) {
        ADD_FAILURE() << "a number is NULL";
        return NAN;
    }
    const std::string separator = regional == Regional::C ? "\\." : ",";
    EXPECT_TRUE(std::regex_match(*cell, std::regex("-?[0-9]+(" + separator + "[0-9]{1,2})?")))
        << "'" << *cell << "' is not a number with the " << regionalName(regional) << " decimal separator";
    std::string text = *cell;
    for (char& c : text)
        if (c == ',')
            c = '.';
    return std::strtod(text.c_str(), nullptr);
}

class IrisRunTest : public ::testing::TestWithParam<Setting> {
protected:
    void SetUp() override
    {
        DODOZ_REQUIRE(backendUnavailable(backend()));
        DODOZ_REQUIRE(regionalUnavailable(regional()));
        fx = std::make_unique<RunFixture>(backend());
    }

    Backend backend() const { return std::get<0>(GetParam()); }
    Regional regional() const { return std::get<1>(GetParam()); }

    int registerFlower(const Flower& flower)
    {
        return fx->registerTask({.table = "iris", .object = flower.object, .regional = regional()});
    }

    RunOutcome runClean(int key)
    {
        RunOutcome run = fx->runDodoz(key, regional());
        EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
        EXPECT_EQ(run.process.err, console::progress(5));
        EXPECT_EQ(run.process.out, "");
        return run;
    }

    // The rows of a finished run of iris: dens 0..2 in class-code order, class, p_min;
    // numbers in the regional form; shares of 100 % with the chosen class the largest.
    void expectResults(int key, int expectedClass)
    {
        const std::vector<ResultRow> rows = fx->results(key);
        ASSERT_EQ(rows.size(), 5u);
        double sum = 0;
        int largest = -1;
        double largestShare = -1;
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE("dens row " + std::to_string(i));
            EXPECT_EQ(rows[i].sysName, "dens");
            EXPECT_EQ(rows[i].order, std::to_string(i));
            EXPECT_EQ(rows[i].value1, std::to_string(i));
            const double share = resultNumber(rows[i].value2, regional());
            EXPECT_GE(share, 0.0);
            EXPECT_LE(share, 100.0);
            sum += share;
            if (share > largestShare) {
                largestShare = share;
                largest = i;
            }
        }
        EXPECT_NEAR(sum, 100.0, 0.03);
        EXPECT_EQ(largest, expectedClass);

        EXPECT_EQ(rows[3].sysName, "class");
        EXPECT_EQ(rows[3].order, "0");
        EXPECT_EQ(rows[3].value1, std::to_string(expectedClass));
        EXPECT_EQ(rows[3].value2, std::nullopt);

        EXPECT_EQ(rows[4].sysName, "p_min");
        EXPECT_EQ(rows[4].order, "0");
        EXPECT_EQ(rows[4].value2, std::nullopt);
        // A leave-one-out error rate of iris is a whole number of rows out of 150, in percent.
        const double pMin = resultNumber(rows[4].value1, regional());
        EXPECT_GE(pMin, 0.0);
        EXPECT_LT(pMin, 20.0);
        const double wrongRows = pMin * iris::rows / 100.0;
        EXPECT_NEAR(wrongRows, std::round(wrongRows), 0.0151) << "p_min " << *rows[4].value1;

        for (const ResultRow& row : rows) {
            EXPECT_EQ(row.value3, std::nullopt);
            EXPECT_EQ(row.colId, std::nullopt);
            EXPECT_EQ(row.tableName, std::nullopt);
        }
    }

    void expectClosingLog(int key)
    {
        const std::vector<LogRow> logs = fx->logs(key);
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_EQ(logs[0].type, "1");
        EXPECT_EQ(logs[0].message, "Анализ завершен");
    }

    std::unique_ptr<RunFixture> fx;
};

TEST_P(IrisRunTest, ObjectInEachClassRegionGetsThatClass)
{
    for (const Flower& flower : {kSetosa, kVersicolor, kVirginica}) {
        SCOPED_TRACE(flower.object);
        const int key = registerFlower(flower);
        runClean(key);
        expectResults(key, flower.expectedClass);
        expectClosingLog(key);
    }
}

TEST_P(IrisRunTest, JournalMatchesTheGoldenFileApartFromTheDateTimes)
{
    const int key = registerFlower(kVersicolor);
    const RunOutcome run = runClean(key);
    // The golden file holds key 1: the first task of fresh databases.
    ASSERT_EQ(key, 1);
    if (auto mismatch = goldenMismatch(journal::masked(run.journal), iris::goldenName(regional())))
        ADD_FAILURE() << *mismatch;

    const std::vector<std::string> stamps = journal::dateTimes(run.journal);
    ASSERT_EQ(stamps.size(), 2u);
    const std::regex form(regional() == Regional::C ? R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"
                                                     : R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)");
    for (const std::string& stamp : stamps)
        EXPECT_TRUE(std::regex_match(stamp, form)) << stamp;
}

TEST_P(IrisRunTest, SecondRunReplacesTheResultsOfTheFirst)
{
    const int key = registerFlower(kVirginica);
    runClean(key);
    const std::vector<ResultRow> first = fx->results(key);
    const std::vector<LogRow> firstLog = fx->logs(key);
    ASSERT_EQ(first.size(), 5u);
    ASSERT_EQ(firstLog.size(), 1u);

    runClean(key);
    expectResults(key, kVirginica.expectedClass);
    expectClosingLog(key);
    for (const ResultRow& row : fx->results(key))
        EXPECT_GT(std::stoi(*row.resId), std::stoi(*first.back().resId));
    EXPECT_GT(std::stoi(*fx->logs(key)[0].logId), std::stoi(*firstLog[0].logId));
}

TEST_P(IrisRunTest, RunOfOneTaskLeavesTheRowsOfAnotherAlone)
{
    const int other = registerFlower(kSetosa);
    runClean(other);
    const std::vector<ResultRow> before = fx->results(other);

    const int key = registerFlower(kVersicolor);
    runClean(key);
    runClean(key);

    const std::vector<ResultRow> after = fx->results(other);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].resId, before[i].resId);
        EXPECT_EQ(after[i].value1, before[i].value1);
        EXPECT_EQ(after[i].value2, before[i].value2);
    }
    expectClosingLog(other);
}

// The text of row `row` of the first table dump after `heading` in the journal.
std::string dumpRow(const std::string& journalText, const std::string& heading, int row)
{
    size_t at = journalText.find(heading);
    if (at == std::string::npos)
        return "<no " + heading + ">";
    at = journalText.find('\n', journalText.find("SEPAL_LENGTH", at));
    for (int i = 0; i < row && at != std::string::npos; ++i)
        at = journalText.find('\n', at + 1);
    if (at == std::string::npos)
        return "<no row>";
    return journalText.substr(at + 1, journalText.find('\n', at + 1) - at - 1);
}

// Gaps in the data arrive as NULL cells; each is filled with the mean of its own class
// before the search.
TEST_P(IrisRunTest, MissingValuesAreFilledFromTheirOwnClass)
{
    std::vector<std::string> lines;
    {
        std::istringstream in(readFile(irisCsv()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    // Data row 2 (class 0) loses sepal_length, data row 120 (class 2) petal_width; the
    // first line is the header.
    lines[3] = "," + lines[3].substr(lines[3].find(',') + 1);
    ASSERT_EQ(lines[121], "6.9,3.2,5.7,2.3,2");
    lines[121] = "6.9,3.2,5.7,,2";
    std::string csv;
    for (const std::string& line : lines)
        csv += line + "\n";
    const std::filesystem::path csvPath = fx->newWorkDir() / "iris_gaps.csv";
    writeFile(csvPath, csv);

    const int key = fx->registerTask(
        {.csv = csvPath, .table = "iris_gaps", .object = kVersicolor.object, .regional = regional()});
    const RunOutcome run = runClean(key);
    expectResults(key, kVersicolor.expectedClass);
    expectClosingLog(key);

    auto rowStart = [&run](const std::string& heading, int row, const std::string& cells) {
        const std::string text = dumpRow(run.journal, heading, row);
        EXPECT_EQ(text.substr(0, cells.size()), cells) << "row " << row << " after " << Cp1251ToUtf8(heading);
    };
    rowStart("Считывание выборки", 2, " | null         | 3.20         | ");
    rowStart("Считывание выборки", 120, " | 6.90         | 3.20         | 5.70         | null         | ");
    // Class 0's other 49 rows have the mean sepal length 5.0122..., class 2's the mean
    // petal width 2.0204...; the row of the other class stays open until its class is filled.
    rowStart("classCode = 0 ", 2, "   | 5.01         | 3.20         | ");
    rowStart("classCode = 0 ", 120, "   | 6.90         | 3.20         | 5.70         | null         | ");
    rowStart("classCode = 2 ", 120, "   | 6.90         | 3.20         | 5.70         | 2.02         | ");
}

// Iris with one more input column k holding `value` in every row, as a CSV file of the
// fixture's. The mean of k summed in 150 rounded steps misses 5.0, so k keeps a tiny
// deviation (7.99e-15) and is searched like any other column.
std::filesystem::path irisWithConstantColumn(RunFixture& fx, const std::string& value)
{
    std::istringstream in(readFile(irisCsv()));
    std::string csv;
    bool header = true;
    for (std::string line; std::getline(in, line);) {
        if (line.empty())
            continue;
        const size_t classAt = line.rfind(',');
        csv += line.substr(0, classAt) + "," + (header ? "k" : value) + line.substr(classAt) + "\n";
        header = false;
    }
    const std::filesystem::path path = fx.newWorkDir() / "iris_k.csv";
    writeFile(path, csv);
    return path;
}

// The object with k = 5.0 sits at the centre of every kernel of k: each one is 0.75,
// the same factor for every row, and the run gives the rows of iris without k, through
// the fast engine and through the object-model classes alike.
TEST_P(IrisRunTest, ConstantColumnWithTheObjectsValueGivesTheRowsOfIris)
{
    const int plain = registerFlower(kVersicolor);
    runClean(plain);
    const std::vector<ResultRow> expected = fx->results(plain);
    ASSERT_EQ(expected.size(), 5u);
    const double shares[] = {0.0, 68.63, 31.37};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(resultNumber(expected[i].value2, regional()), shares[i]) << "dens row " << i;
    EXPECT_EQ(expected[3].value1, "1");
    EXPECT_EQ(resultNumber(expected[4].value1, regional()), 5.33);

    const int key = fx->registerTask({.csv = irisWithConstantColumn(*fx, "5.0"),
                                      .table = "iris_k",
                                      .object = std::string(kVersicolor.object) + ",5.0",
                                      .regional = regional()});
    for (const char* search : {"DODOZ_REFERENCE_SEARCH=0", "DODOZ_REFERENCE_SEARCH=1"}) {
        SCOPED_TRACE(search);
        const RunOutcome run = fx->runDodoz(key, regional(), {search});
        EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
        EXPECT_EQ(run.process.err, console::progress(5));
        expectSameResults(fx->results(key), expected);
        expectClosingLog(key);
    }
}

// Any other value of k lies outside every window: no class has a density at the object,
// which is the defined "no class" answer, written like any other result.
TEST_P(IrisRunTest, ConstantColumnWithAnotherValueGivesNoClass)
{
    const int key = fx->registerTask({.csv = irisWithConstantColumn(*fx, "5.0"),
                                      .table = "iris_k",
                                      .object = std::string(kVersicolor.object) + ",6.0",
                                      .regional = regional()});
    runClean(key);
    const std::vector<ResultRow> rows = fx->results(key);
    ASSERT_EQ(rows.size(), 5u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i].sysName, "dens");
        EXPECT_EQ(rows[i].value1, std::to_string(i));
        EXPECT_EQ(resultNumber(rows[i].value2, regional()), 0.0) << "dens row " << i;
    }
    EXPECT_EQ(rows[3].sysName, "class");
    EXPECT_EQ(rows[3].value1, "-999999");
    EXPECT_EQ(rows[4].sysName, "p_min");
    EXPECT_EQ(resultNumber(rows[4].value1, regional()), 5.33);
    expectClosingLog(key);
}

std::string settingName(const ::testing::TestParamInfo<Setting>& info)
{
    return backendName(std::get<0>(info.param)) + "_" + regionalName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Settings, IrisRunTest,
                         ::testing::Combine(::testing::ValuesIn(allBackends()),
                                            ::testing::Values(Regional::C, Regional::Russian)),
                         settingName);

}  // namespace
}  // namespace e2e
