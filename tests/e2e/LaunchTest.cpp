// Runs started by a careless launcher: standard descriptors left closed, or stderr a pipe
// whose reader has gone (a host that stopped listening). The run goes on as usual: it
// exits with 0, commits its complete set, and its journal holds nothing but the journal.

#include <gtest/gtest.h>

#include <tuple>

#include "tests/e2e/RunFixture.h"

namespace e2e {
namespace {

using RowValues = std::vector<std::tuple<Cell, Cell, Cell, Cell>>;

class CarelessLaunchTest : public BackendTest {
protected:
    struct Ended {
        ProcessResult process;
        std::string journal;
    };

    Ended run(int key, const LaunchStreams& streams)
    {
        const std::filesystem::path workDir = fx->newWorkDir();
        std::unique_ptr<Process> dodoz = fx->startDodoz(key, Regional::C, workDir, {}, streams);
        Ended ended{dodoz->wait(RunFixture::defaultTimeout), RunFixture::journal(workDir)};
        EXPECT_EQ(ended.process.exitCode, 0) << ended.process.describe();
        return ended;
    }

    // The result rows without their keys, which every run draws anew.
    RowValues values(int key) const
    {
        RowValues rows;
        for (const ResultRow& row : fx->results(key))
            rows.emplace_back(row.sysName, row.order, row.value1, row.value2);
        return rows;
    }

    void expectClosingLog(int key) const
    {
        const std::vector<LogRow> logs = fx->logs(key);
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_EQ(logs[0].message, "Анализ завершен");
    }
};

TEST_P(CarelessLaunchTest, ClosedStandardDescriptorsChangeNothing)
{
    const int key = fx->registerTask({.object = iris::versicolor});
    const RunOutcome clean = fx->runDodoz(key);
    ASSERT_EQ(clean.process.err, console::progress(5));
    const RowValues cleanRows = values(key);
    ASSERT_EQ(cleanRows.size(), 5u);

    for (const std::vector<int>& closed : std::vector<std::vector<int>>{{2}, {1, 2}, {0, 1, 2}}) {
        SCOPED_TRACE("closed: " + testing::PrintToString(closed));
        const Ended ended = run(key, {.closed = closed});
        EXPECT_EQ(journal::masked(ended.journal), journal::masked(clean.journal));
        EXPECT_EQ(values(key), cleanRows);
        expectClosingLog(key);
    }
}

// A task that has never run: rows after the run can only be its own.
TEST_P(CarelessLaunchTest, StderrWhoseReaderHasGoneStillGetsTheRows)
{
    const int key = fx->registerTask({.object = iris::versicolor});
    const Ended ended = run(key, {.closed = {}, .stderrReaderGone = true});
    EXPECT_EQ(journal::lastStage(ended.journal), 5);
    EXPECT_NE(ended.journal.find(journal::endLabel), std::string::npos);
    EXPECT_EQ(values(key).size(), 5u);
    expectClosingLog(key);
}

}  // namespace

DODOZ_ON_EVERY_BACKEND(CarelessLaunchTest);

}  // namespace e2e
