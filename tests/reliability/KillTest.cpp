// Runs killed with SIGKILL: held at every point of a run, and at random moments of runs
// of a larger sample. After every kill the task holds either no rows or the complete
// set a good run writes, never a part of one, and the next run of the task succeeds.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/e2e/RunFixture.h"
#include "tests/reliability/Figures.h"
#include "tests/reliability/Stops.h"
#include "tests/reliability/TaskRows.h"

namespace reliability {
namespace {

using e2e::Backend;
using e2e::RunFixture;

// What the kills of one test came to.
struct Tally {
    int kills = 0;
    int partial = 0;
    int failedFollowUps = 0;
    int betweenInserts = 0;
    std::map<int, int> byStage;  // stage the journal showed -> kills

    Figures figures(Backend backend) const
    {
        const std::string db = figureSuffix(e2e::backendName(backend));
        Figures f{{"kills_" + db, std::to_string(kills)},
                  {"partial", std::to_string(partial)},
                  {"failed_followups", std::to_string(failedFollowUps)},
                  {"kills_between_inserts", std::to_string(betweenInserts)}};
        for (const auto& [stage, count] : byStage)
            f.emplace_back("kills_stage_" + std::to_string(stage), std::to_string(count));
        return f;
    }
};

class KillTest : public e2e::BackendTest {
protected:
    // The task's rows right after a kill, then a run of the task to the end.
    void afterKill(int key, const TaskRows& completeSet, const std::string& what)
    {
        SCOPED_TRACE(what);
        const TaskRows left = TaskRows::read(*fx, key);
        const Outcome outcome = outcomeOf(left, completeSet);
        EXPECT_NE(outcome, Outcome::Partial) << left.describe();
        if (outcome == Outcome::Partial)
            ++tally.partial;

        const e2e::RunOutcome next = fx->runDodoz(key);
        const Outcome followUp = outcomeOf(TaskRows::read(*fx, key), completeSet);
        const bool good = next.process.exitCode == 0 && next.process.err == e2e::console::progress(5) &&
                          followUp == Outcome::Complete;
        EXPECT_TRUE(good) << next.process.describe() << "\nrows: " << outcomeName(followUp);
        if (!good)
            ++tally.failedFollowUps;
    }

    // Whether the kill ended the run; a run that ended on its own first is no kill.
    bool kill(e2e::Process& run, int stage)
    {
        run.signal(SIGKILL);
        const e2e::ProcessResult ended = run.wait(std::chrono::seconds(30));
        if (ended.signal != SIGKILL)
            return false;
        ++tally.kills;
        ++tally.byStage[stage];
        return true;
    }

    // A good run of the task; its rows are the complete set.
    TaskRows completeSetOf(int key)
    {
        const e2e::RunOutcome good = fx->runDodoz(key);
        EXPECT_EQ(good.process.err, e2e::console::progress(5));
        TaskRows rows = TaskRows::read(*fx, key);
        EXPECT_TRUE(isCompleteSet(rows, {0, 1, 2})) << rows.describe();
        return rows;
    }

    // The median length of a few good runs after the first, which a cold start (the
    // program's pages, the server's buffers) can make several times as long as the rest.
    double usualRunSeconds(int key, const TaskRows& completeSet)
    {
        std::vector<double> seconds;
        for (int run = 0; run < 5; ++run) {
            const e2e::RunOutcome good = fx->runDodoz(key);
            EXPECT_EQ(good.process.err, e2e::console::progress(5));
            EXPECT_EQ(outcomeOf(TaskRows::read(*fx, key), completeSet), Outcome::Complete);
            seconds.push_back(good.process.seconds);
        }
        std::nth_element(seconds.begin(), seconds.begin() + 2, seconds.end());
        return seconds[2];
    }

    Tally tally;
};

// The points of a run of iris (three classes, so six INSERTs) with the stage the journal
// shows at each; insert-1 to insert-5 lie between two INSERTs.
const char* const kPoints[] = {"open",     "clear",    "sample",   "model",    "output",
                               "save",     "locked",   "insert-1", "insert-2", "insert-3",
                               "insert-4", "insert-5", "insert-6", "committed"};

TEST_P(KillTest, KilledAtEveryPointOfARun)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const TaskRows completeSet = completeSetOf(key);
    for (const char* point : kPoints) {
        const std::filesystem::path workDir = fx->newWorkDir();
        auto run = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt(point)});
        ASSERT_TRUE(waitUntilStopped(*run)) << point << ": " << run->errSoFar();
        ASSERT_TRUE(kill(*run, e2e::journal::lastStage(RunFixture::journal(workDir)))) << point;
        const std::string name = point;
        if (name.rfind("insert-", 0) == 0 && name != "insert-6")
            ++tally.betweenInserts;
        afterKill(key, completeSet, std::string("killed at ") + point);
    }
    EXPECT_EQ(tally.kills, static_cast<int>(std::size(kPoints)));
    writeFigures("kills-points-" + e2e::backendName(GetParam()), tally.figures(GetParam()));
}

// A run that has cleared another run's committed set inside its own result transaction
// and dies before its commit leaves that set as it was: the deletion dies with the run.
TEST_P(KillTest, KilledAfterClearingAnotherRunsSetLeavesThatSet)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const TaskRows completeSet = completeSetOf(key);
    for (const char* point : {"locked", "insert-3", "insert-6"}) {
        SCOPED_TRACE(point);
        const std::filesystem::path workDir = fx->newWorkDir();
        auto run = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt(std::string("save,") + point)});
        ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
        const e2e::RunOutcome other = fx->runDodoz(key);
        ASSERT_EQ(other.process.err, e2e::console::progress(5));
        ASSERT_EQ(outcomeOf(TaskRows::read(*fx, key), completeSet), Outcome::Complete);
        resume(*run);
        ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
        ASSERT_TRUE(kill(*run, e2e::journal::lastStage(RunFixture::journal(workDir))));
        if (std::string(point) != "locked" && std::string(point) != "insert-6")
            ++tally.betweenInserts;
        const TaskRows left = TaskRows::read(*fx, key);
        EXPECT_EQ(outcomeOf(left, completeSet), Outcome::Complete) << left.describe();
        afterKill(key, completeSet, std::string("killed at ") + point + " after clearing another run's set");
    }
    writeFigures("kills-cleared-" + e2e::backendName(GetParam()), tally.figures(GetParam()));
}

// A sample of three overlapping classes, large enough that reading it and the search take
// most of a run: 3000 rows of four inputs.
std::filesystem::path largeSample(const std::filesystem::path& dir)
{
    std::mt19937 random(20240611);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::ostringstream csv;
    csv << "a,b,c,d,class\n";
    csv.setf(std::ios::fixed);
    csv.precision(2);
    for (int row = 0; row < 3000; ++row) {
        const int cls = row % 3;
        for (int j = 0; j < 4; ++j)
            csv << cls * 0.8 + j * 0.1 + noise(random) << ',';
        csv << cls << '\n';
    }
    const std::filesystem::path path = dir / "large.csv";
    e2e::writeFile(path, csv.str());
    return path;
}

// The moments are drawn over the usual length of a run, and each run is held still after
// its commit: one that is done before its moment on a faster or less busy machine waits
// there for its kill instead of ending, so every run is killed and the count is the one
// wanted on any machine.
TEST_P(KillTest, KilledAtRandomMomentsOfRunsOfALargerSample)
{
    const int key = fx->registerTask(
        {.csv = largeSample(fx->newWorkDir()), .table = "large", .object = "0.9,1.0,1.1,1.2"});
    const TaskRows completeSet = completeSetOf(key);
    std::mt19937 random(static_cast<unsigned>(::testing::UnitTest::GetInstance()->random_seed()) + 7);
    std::uniform_real_distribution<double> moment(0.0, usualRunSeconds(key, completeSet));
    const int wanted = 12;
    int heldAfterCommit = 0;
    for (int attempt = 0; attempt < wanted; ++attempt) {
        const std::filesystem::path workDir = fx->newWorkDir();
        const double at = moment(random);
        auto run = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt("committed")});
        std::this_thread::sleep_for(std::chrono::duration<double>(at));
        heldAfterCommit += processState(run->pid()) == 'T';
        ASSERT_TRUE(kill(*run, e2e::journal::lastStage(RunFixture::journal(workDir))))
            << "the run ended without reaching its commit: " << run->errSoFar();
        std::ostringstream what;
        what << "killed after " << at << " s";
        afterKill(key, completeSet, what.str());
    }
    EXPECT_EQ(tally.kills, wanted);
    RecordProperty("held_after_commit", heldAfterCommit);
    writeFigures("kills-random-" + e2e::backendName(GetParam()), tally.figures(GetParam()));
}

DODOZ_ON_EVERY_BACKEND(KillTest);

}  // namespace
}  // namespace reliability
