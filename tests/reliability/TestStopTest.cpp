// The test-only stop switch of the run (app/TestStop.h): which names a list selects, and
// a run held at every point in turn, each where the journal says it is.

#include <gtest/gtest.h>

#include "app/TestStop.h"
#include "tests/e2e/RunFixture.h"
#include "tests/reliability/Stops.h"
#include "tests/reliability/TaskRows.h"

namespace reliability {
namespace {

TEST(TestStopListTest, NamesMatchWholeAndAnywhereInTheList)
{
    EXPECT_TRUE(testStopListed("model", "model"));
    EXPECT_TRUE(testStopListed("open,model,save", "model"));
    EXPECT_TRUE(testStopListed("open,model,save", "save"));
    EXPECT_TRUE(testStopListed("open,model,save", "open"));
}

TEST(TestStopListTest, PrefixesAndEmptyEntriesSelectNothing)
{
    EXPECT_FALSE(testStopListed("", "model"));
    EXPECT_FALSE(testStopListed("insert-10", "insert-1"));
    EXPECT_FALSE(testStopListed("insert-1", "insert-10"));
    EXPECT_FALSE(testStopListed("model ", "model"));
    EXPECT_FALSE(testStopListed(",,", "model"));
    EXPECT_FALSE(testStopListed("Model", "model"));
    EXPECT_TRUE(testStopListed("open,,model,", "model"));
}

class StopPointsTest : public e2e::BackendTest {};

// The points in the order a run of iris (three classes: six INSERTs) passes them, with
// the stage its journal shows at each.
const std::pair<const char*, int> kIrisPoints[] = {
    {"open", 2},     {"clear", 2},    {"sample", 3},   {"model", 4},    {"output", 4},
    {"save", 5},     {"locked", 5},   {"insert-1", 5}, {"insert-2", 5}, {"insert-3", 5},
    {"insert-4", 5}, {"insert-5", 5}, {"insert-6", 5}, {"committed", 5}};

TEST_P(StopPointsTest, RunHeldAtEveryPointInTurnEndsLikeAnyOther)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    std::string all;
    for (const auto& [point, stage] : kIrisPoints)
        all += std::string(all.empty() ? "" : ",") + point;
    const std::filesystem::path workDir = fx->newWorkDir();
    auto run = fx->startDodoz(key, e2e::Regional::C, workDir, {stopAt(all)});
    for (const auto& [point, stage] : kIrisPoints) {
        SCOPED_TRACE(point);
        ASSERT_TRUE(waitUntilStopped(*run)) << run->errSoFar();
        EXPECT_EQ(e2e::journal::lastStage(e2e::RunFixture::journal(workDir)), stage);
        resume(*run);
    }
    const e2e::ProcessResult ended = run->wait(std::chrono::seconds(60));
    EXPECT_EQ(ended.exitCode, 0) << ended.describe();
    EXPECT_EQ(ended.err, e2e::console::progress(5));
    EXPECT_TRUE(isCompleteSet(TaskRows::read(*fx, key), {0, 1, 2}));
}

TEST_P(StopPointsTest, UnknownPointNeverStopsTheRun)
{
    const int key = fx->registerTask({.object = e2e::iris::versicolor});
    const e2e::RunOutcome run = fx->runDodoz(key, e2e::Regional::C, {stopAt("insert-7,nowhere")});
    EXPECT_EQ(run.process.exitCode, 0) << run.process.describe();
    EXPECT_EQ(run.process.err, e2e::console::progress(5));
    EXPECT_TRUE(isCompleteSet(TaskRows::read(*fx, key), {0, 1, 2}));
}

DODOZ_ON_EVERY_BACKEND(StopPointsTest);

}  // namespace
}  // namespace reliability
