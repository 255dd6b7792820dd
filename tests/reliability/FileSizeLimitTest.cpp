// Runs under a file-size limit (ulimit -f), which used to end the program with SIGXFSZ
// before it could say a word. A limit the journal passes costs the journal its tail and
// nothing else; a limit that the SQLite repository's files pass is a failed write, which
// the run reports like any other, committing nothing.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <fstream>

#include "tests/e2e/RunFixture.h"
#include "tests/reliability/Stops.h"

namespace reliability {
namespace {

using e2e::RunFixture;
namespace console = e2e::console;

// Below one SQLite page past the rollback journal's header, above what stderr holds
// with an error: neither the repository file nor its rollback journal can take a page.
constexpr rlim_t kBelowOnePage = 3000;

class FileSizeLimitTest : public e2e::BackendTest {
protected:
    // Iris eight times over: a detailed journal of some 500 KB, far past what the
    // repository's files take.
    std::filesystem::path largeIris()
    {
        std::ifstream in(e2e::irisCsv());
        std::string header, line, body;
        std::getline(in, header);
        while (std::getline(in, line))
            body += line + "\n";
        std::string text = header + "\n";
        for (int copy = 0; copy < 8; ++copy)
            text += body;
        const std::filesystem::path csv = fx->newWorkDir() / "iris8.csv";
        e2e::writeFile(csv, text);
        return csv;
    }

    // The largest file of the test's databases (the SQLite ones; the DSN files else).
    rlim_t largestDatabaseFile() const
    {
        std::uintmax_t largest = 0;
        for (const auto& entry : std::filesystem::directory_iterator(fx->db().dir()))
            if (entry.is_regular_file())
                largest = std::max(largest, entry.file_size());
        return static_cast<rlim_t>(largest);
    }

    e2e::ProcessResult run(int key, const std::filesystem::path& workDir, const LaunchStreams& streams)
    {
        std::unique_ptr<e2e::Process> dodoz = fx->startDodoz(key, e2e::Regional::C, workDir, {}, streams);
        const e2e::ProcessResult ended = dodoz->wait(RunFixture::defaultTimeout);
        EXPECT_EQ(ended.exitCode, 0) << ended.describe();
        return ended;
    }

    void expectRows(int key, size_t results, size_t logs)
    {
        EXPECT_EQ(fx->results(key).size(), results);
        const std::vector<e2e::LogRow> written = fx->logs(key);
        EXPECT_EQ(written.size(), logs);
        for (const e2e::LogRow& row : written)
            EXPECT_EQ(row.message, "Анализ завершен");
    }

    bool sqlite() const { return GetParam() == e2e::Backend::SQLite; }
};

TEST_P(FileSizeLimitTest, JournalPastTheLimitLosesItsTailAndTheRunCompletes)
{
    const int key = fx->registerTask({.csv = largeIris(), .object = e2e::iris::versicolor});
    const rlim_t limit = largestDatabaseFile() + 256 * 1024;
    const std::filesystem::path workDir = fx->newWorkDir();
    const e2e::ProcessResult ended = run(key, workDir, {.fileSizeLimit = limit});
    EXPECT_EQ(ended.err, console::progress(5));
    const std::string journal = RunFixture::journal(workDir);
    EXPECT_EQ(journal.size(), limit) << "the journal was not cut at the limit";
    EXPECT_EQ(journal.rfind(e2e::journal::startLabel, 0), 0u);
    expectRows(key, 5, 1);
}

// The limit comes down while the run waits at stage 5, its task cleared: the result
// transaction's first write fails and the task is left with nothing.
TEST_P(FileSizeLimitTest, RepositoryThatCannotGrowFailsTheSaveWithoutRows)
{
    if (!sqlite())
        GTEST_SKIP() << "only an SQLite repository is a file the run writes";
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    ASSERT_EQ(fx->runDodoz(key).process.err, console::progress(5));
    const std::filesystem::path workDir = fx->newWorkDir();
    std::unique_ptr<e2e::Process> dodoz = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt("save")});
    ASSERT_TRUE(waitUntilStopped(*dodoz));
    const rlimit limit{kBelowOnePage, kBelowOnePage};
    ASSERT_EQ(prlimit(dodoz->pid(), RLIMIT_FSIZE, &limit, nullptr), 0);
    resume(*dodoz);
    const e2e::ProcessResult ended = dodoz->wait(RunFixture::defaultTimeout);
    EXPECT_EQ(ended.exitCode, 0) << ended.describe();
    EXPECT_EQ(ended.err, console::progress(5) + "HY000 [SQLite]disk I/O error (10)\n");
    const std::string journal = RunFixture::journal(workDir);
    EXPECT_EQ(e2e::journal::lastStage(journal), 5);
    EXPECT_EQ(journal.find(e2e::journal::saveHeading + "OK"), std::string::npos);
    expectRows(key, 0, 0);
}

// From the start nothing of the repository can be written, the clearing included: the
// earlier set stays whole, and the error says so.
TEST_P(FileSizeLimitTest, RepositoryThatCannotBeWrittenKeepsTheEarlierSetAndSaysSo)
{
    if (!sqlite())
        GTEST_SKIP() << "only an SQLite repository is a file the run writes";
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    ASSERT_EQ(fx->runDodoz(key).process.err, console::progress(5));
    const e2e::ProcessResult ended = run(key, fx->newWorkDir(), {.fileSizeLimit = kBelowOnePage});
    EXPECT_EQ(ended.err, console::progress(1) +
                             console::error("TaskClearing.clear()",
                                            "Прежние строки задачи не удалены, строка \"Анализ завершен\" прежнего "
                                            "запуска осталась в TskLog: TskID = " + std::to_string(key)) +
                             "HY000 [SQLite]disk I/O error (10)\n");
    expectRows(key, 5, 1);
}

}  // namespace

DODOZ_ON_EVERY_BACKEND(FileSizeLimitTest);

}  // namespace reliability
