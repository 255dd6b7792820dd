// Runs at the same time against one repository: many tasks at once, each in its own
// working directory, and two runs of one task racing each other. Every task ends with
// exactly its complete set: nothing missing, nothing doubled, every key once.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>

#include "tests/e2e/RunFixture.h"
#include "tests/reliability/Figures.h"
#include "tests/reliability/Stops.h"
#include "tests/reliability/TaskRows.h"

namespace reliability {
namespace {

using e2e::Backend;
using e2e::Process;
using e2e::RunFixture;
using ProcessPtr = std::unique_ptr<Process>;

const char* const kFlowers[] = {e2e::iris::setosa, e2e::iris::versicolor, e2e::iris::virginica};
constexpr auto kRunTimeout = std::chrono::seconds(300);

class ConcurrencyTest : public e2e::BackendTest {
protected:
    // SQLite lets one writer in at a time and makes the others wait (the DSN's busy
    // timeout); PostgreSQL takes them all.
    int runsAtOnce() const { return GetParam() == Backend::PostgreSQL ? 16 : 8; }
    std::string db() const { return figureSuffix(e2e::backendName(GetParam())); }

    ProcessPtr start(int key, const std::vector<std::string>& env = {})
    {
        return fx->startDodoz(key, e2e::Regional::C, fx->newWorkDir(), env);
    }

    // Whether every run ended well; the failures are reported.
    static bool allEndedWell(std::vector<ProcessPtr>& runs)
    {
        bool good = true;
        for (ProcessPtr& run : runs) {
            const e2e::ProcessResult ended = run->wait(kRunTimeout);
            const bool ok = ended.exitCode == 0 && ended.err == e2e::console::progress(5);
            EXPECT_TRUE(ok) << ended.describe();
            good = good && ok;
        }
        return good;
    }

    // Keys of TskResult and TskLog that occur more than once.
    int duplicateKeys() const
    {
        int duplicates = 0;
        for (const char* sql : {"SELECT ResID FROM TskResult GROUP BY ResID HAVING COUNT(*) > 1",
                                "SELECT LogID FROM TskLog GROUP BY LogID HAVING COUNT(*) > 1"})
            duplicates += static_cast<int>(fx->db().queryRepository(sql).size());
        return duplicates;
    }

    // 1 when the task holds exactly the set, else 0 (reported).
    int holdsTheSet(int key, const TaskRows& completeSet) const
    {
        const TaskRows rows = TaskRows::read(*fx, key);
        const bool complete = outcomeOf(rows, completeSet) == Outcome::Complete;
        EXPECT_TRUE(complete) << "task " << key << ": " << rows.describe();
        return complete ? 1 : 0;
    }
};

TEST_P(ConcurrencyTest, ManyTasksAtOnceEachEndWithTheirCompleteSet)
{
    const int n = runsAtOnce();
    std::vector<int> keys;
    for (int i = 0; i < n; ++i)
        keys.push_back(fx->registerTask({.object = kFlowers[i % 3]}));
    // The set of each object, from runs one after the other.
    std::vector<TaskRows> completeSets;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(fx->runDodoz(keys[i]).process.err, e2e::console::progress(5));
        completeSets.push_back(TaskRows::read(*fx, keys[i]));
        ASSERT_TRUE(isCompleteSet(completeSets.back(), {0, 1, 2})) << completeSets.back().describe();
    }

    int runs = 0, incomplete = 0;
    // First all held before their result transactions and let go together, so that every
    // writer contends; then all started together and left alone.
    for (const bool held : {true, false}) {
        SCOPED_TRACE(held ? "released together before saving" : "started together");
        std::vector<ProcessPtr> started;
        for (int key : keys)
            started.push_back(held ? start(key, {stopAt("save")}) : start(key));
        if (held) {
            for (ProcessPtr& run : started)
                ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
            for (ProcessPtr& run : started)
                resume(*run);
        }
        allEndedWell(started);
        runs += n;
        for (int i = 0; i < n; ++i)
            incomplete += 1 - holdsTheSet(keys[i], completeSets[i % 3]);
    }
    const int duplicates = duplicateKeys();
    EXPECT_EQ(duplicates, 0);

    writeFigures("concurrent-" + e2e::backendName(GetParam()),
                 {{"concurrent_" + db(), std::to_string(n)},
                  {"concurrent_runs", std::to_string(runs)},
                  {"incomplete", std::to_string(incomplete)},
                  {"duplicate_keys", std::to_string(duplicates)}});
}

// Two runs of one task in the ways they can overlap. Both delete the task's rows at
// their start before either has written, and both write a set: only the lock of the
// result transaction keeps the two sets from adding up.
TEST_P(ConcurrencyTest, TwoRunsOfOneTaskLeaveExactlyOneSet)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    ASSERT_EQ(fx->runDodoz(key).process.err, e2e::console::progress(5));
    const TaskRows completeSet = TaskRows::read(*fx, key);
    ASSERT_TRUE(isCompleteSet(completeSet, {0, 1, 2})) << completeSet.describe();

    std::mt19937 random(static_cast<unsigned>(::testing::UnitTest::GetInstance()->random_seed()));
    const int tries = 10;
    int oneSet = 0;
    for (int attempt = 0; attempt < tries; ++attempt) {
        std::vector<ProcessPtr> runs;
        switch (attempt % 3) {
        case 0: {
            SCOPED_TRACE("both released together before saving");
            runs.push_back(start(key, {stopAt("save")}));
            runs.push_back(start(key, {stopAt("save")}));
            for (ProcessPtr& run : runs)
                ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
            for (ProcessPtr& run : runs)
                resume(*run);
            break;
        }
        case 1: {
            SCOPED_TRACE("one saves while the other holds its whole set uncommitted");
            runs.push_back(start(key, {stopAt("save")}));
            ASSERT_TRUE(waitUntilStopped(*runs[0])) << runs[0]->errSoFar();
            runs.push_back(start(key, {stopAt("insert-6")}));
            ASSERT_TRUE(waitUntilStopped(*runs[1])) << runs[1]->errSoFar();
            resume(*runs[0]);
            // The first now waits for the second's lock instead of writing beside it.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_TRUE(runs[0]->running());
            EXPECT_NE(processState(runs[0]->pid()), 'T');
            resume(*runs[1]);
            break;
        }
        default: {
            SCOPED_TRACE("started a few milliseconds apart");
            runs.push_back(start(key));
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 40)(random)));
            runs.push_back(start(key));
            break;
        }
        }
        allEndedWell(runs);
        oneSet += holdsTheSet(key, completeSet);
    }
    EXPECT_EQ(duplicateKeys(), 0);
    writeFigures("race-" + e2e::backendName(GetParam()),
                 {{"race_tries_" + db(), std::to_string(tries)}, {"race_one_set_" + db(), std::to_string(oneSet)}});
}

// A run clears the task under the task's lock: while another run holds its whole set
// uncommitted, the clearing waits, so that set cannot be committed between the deletion
// and the check that nothing of the task is left (that check failed a run now and then).
TEST_P(ConcurrencyTest, ClearingWaitsForAnotherRunsUncommittedSet)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    ASSERT_EQ(fx->runDodoz(key).process.err, e2e::console::progress(5));
    const TaskRows completeSet = TaskRows::read(*fx, key);

    std::vector<ProcessPtr> runs;
    runs.push_back(start(key, {stopAt("insert-6")}));
    ASSERT_TRUE(waitUntilStopped(*runs[0])) << runs[0]->errSoFar();
    const std::filesystem::path clearing = fx->newWorkDir();
    runs.push_back(fx->startDodoz(key, e2e::Regional::C, clearing));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(runs[1]->running());
    EXPECT_EQ(e2e::journal::lastStage(RunFixture::journal(clearing)), 2);
    resume(*runs[0]);
    EXPECT_TRUE(allEndedWell(runs));
    EXPECT_TRUE(holdsTheSet(key, completeSet));
}

DODOZ_ON_EVERY_BACKEND(ConcurrencyTest);

}  // namespace
}  // namespace reliability
