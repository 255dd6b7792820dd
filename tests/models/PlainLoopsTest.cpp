// The plain loops' arithmetic by hand, the checks of a search's inputs and the threads of
// FastRows: what the engine's tests over the instruction sets build upon.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastRows.h"
#include "models/fast/FastSearch.h"
#include "tests/support/DenseSamples.h"

using namespace testsupport;

TEST(PlainLoopsTest, ScoreSmallSamplesByHand)
{
    DenseRows s;
    s.classes = 2;
    s.add({0.0}, 0);
    s.add({0.5}, 0);
    s.add({5.0}, 1);
    s.add({5.4}, 1);
    std::int64_t errors = 0;
    const double h = 1.0;
    EXPECT_EQ(DenseReference::criterion(s.view(), &h, true, &errors), 0.0);
    EXPECT_EQ(errors, 0);

    s.add({0.2}, 1);  // sits among class 0 and is classified so
    EXPECT_EQ(DenseReference::criterion(s.view(), &h, true, &errors), 0.2);
    EXPECT_EQ(errors, 1);

    s.add({100.0}, -1);  // excluded: neither scored nor a centre
    EXPECT_EQ(DenseReference::criterion(s.view(), &h, true, &errors), 0.2);
}

TEST(PlainLoopsTest, FollowTheDensityFormula)
{
    DenseRows s;
    s.classes = 2;
    s.add({0.0}, 0);
    s.add({1.0}, 0);
    s.add({0.5}, 1);
    s.add({3.0}, 1);
    const double h = 1.0;
    // Row 2 left out of class 1: class 0 has u = 0.5 and -0.5, K = 0.5625 each, n = 2.
    EXPECT_EQ(DenseReference::density(s.view(), 2, 0, &h, 1.0), 0.5625);
    // Row 3 is 2.5 away from everything of class 1 except itself.
    EXPECT_EQ(DenseReference::density(s.view(), 2, 1, &h, 1.0), NOT_DEFINED_REAL);
    // Exactly one width away gives no weight.
    EXPECT_EQ(DenseReference::density(s.view(), 0, 0, &h, 1.0), NOT_DEFINED_REAL);
}

TEST(PlainLoopsTest, GiveTiesToTheLowerClassAndHonourStrict)
{
    DenseRows s;
    s.classes = 3;
    s.add({0.0}, 2);
    s.add({-0.5}, 0);
    s.add({0.5}, 1);
    s.add({9.0}, 2);
    const double h = 1.0;
    // Row 0 sees one row of class 0 and one of class 1 at the same distance: class 0 wins.
    EXPECT_EQ(DenseReference::classify(s.view(), 0, &h, 1.0), 0);
    // Row 3 has nothing inside any window.
    EXPECT_EQ(DenseReference::classify(s.view(), 3, &h, 1.0), -1);
    std::int64_t errors = 0;
    EXPECT_EQ(DenseReference::criterion(s.view(), &h, true, &errors), NO_CRITERION);
    EXPECT_EQ(errors, -1);
    // Not strict, the undecided row counts as wrong (rows 1 and 2 see only row 0).
    EXPECT_EQ(DenseReference::criterion(s.view(), &h, false, &errors), 1.0);
    EXPECT_EQ(errors, 4);
}

TEST(FastSearchBestIndex, KeepsTheFirstSmallestValue)
{
    EXPECT_EQ(FastSearch::bestIndex({NO_CRITERION, 0.5, 0.25, 0.25, 0.3}), 2u);
    EXPECT_EQ(FastSearch::bestIndex({NO_CRITERION, NO_CRITERION}), FastSearch::npos);
    EXPECT_EQ(FastSearch::bestIndex({}), FastSearch::npos);
}

TEST(FastSearchInput, MalformedSamplesAreRejected)
{
    const std::vector<double> grid = programGrid();
    DenseRows s = gaussianBlobs(10, 2, 2, 59);
    EXPECT_THROW(FastSearch::search(s.view(), {1.0}, grid, true), SystemException);
    s.cls[4] = 2;
    EXPECT_THROW(FastSearch::search(s.view(), {1.0, 1.0}, grid, true), SystemException);
    for (int& c : s.cls)
        c = -1;
    EXPECT_THROW(FastSearch::search(s.view(), {1.0, 1.0}, grid, true), SystemException);
    EXPECT_THROW(DenseReference::search(s.view(), {1.0, 1.0}, grid, true), SystemException);
}

class FastRowsTest : public ::testing::Test {
protected:
    // Runs items that score two rows each and records, at every progress call, how many
    // items had finished by then.
    void run(unsigned threads)
    {
        finished = 0;
        seen.clear();
        const auto caller = std::this_thread::get_id();
        FastRows::run(
            200, 400, threads, 300,
            [&] {
                seen.push_back(finished.load());
                foreign = foreign || std::this_thread::get_id() != caller;
            },
            [&](unsigned, int) {
                ++finished;
                return 2;
            });
    }

    std::atomic<int> finished{0};
    std::vector<int> seen;
    bool foreign = false;
};

TEST_F(FastRowsTest, ProgressAdvancesWhileTheWorkRuns)
{
    for (const unsigned threads : {1u, 2u, 3u}) {
        run(threads);
        ASSERT_EQ(seen.size(), 300u);
        EXPECT_FALSE(foreign);
        // Alone, the calling thread reports between its chunks; with helpers it may find
        // the work already done when it gets to report.
        if (threads == 1) {
            EXPECT_LT(seen.front(), 200) << "the first step must come before the last item";
        }
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        // Each step is due only once its share of rows is scored.
        for (std::size_t k = 0; k < seen.size(); ++k)
            ASSERT_GE(seen[k] * 2 * 300, static_cast<int>(k + 1) * 400) << "step " << k;
    }
}

TEST_F(FastRowsTest, AFailingItemStopsEveryThreadAndSurfaces)
{
    std::atomic<int> started{0};
    EXPECT_THROW(FastRows::run(1000, 1000, 2, 10, {},
                               [&](unsigned, int item) {
                                   ++started;
                                   if (item == 7)
                                       throw std::runtime_error("item failed");
                                   return 1;
                               }),
                 std::runtime_error);
    EXPECT_LT(started.load(), 1000);
}
