// The query rows spread over workers, and the whole search's progress made of what each
// worker reports of its share.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "models/workers/ShareProgress.h"

namespace {

TEST(ShareProgressTest, SharesCoverTheRowsOnceInOrderAndDifferByAtMostOneRow)
{
    for (int rows : {0, 1, 2, 7, 150, 100000}) {
        for (int workers : {1, 2, 3, 5, 8}) {
            int next = 0;
            int smallest = rows;
            int largest = 0;
            for (int w = 0; w < workers; ++w) {
                const ShareProgress::Rows share = ShareProgress::rowsOf(w, workers, rows);
                EXPECT_EQ(share.begin, next) << rows << " rows, worker " << w << " of " << workers;
                next = share.end;
                smallest = std::min(smallest, share.end - share.begin);
                largest = std::max(largest, share.end - share.begin);
            }
            EXPECT_EQ(next, rows) << rows << " rows over " << workers;
            EXPECT_LE(largest - smallest, 1) << rows << " rows over " << workers;
        }
    }
}

// Whatever order and pace the reports come in, the caller steps exactly once per grid
// point, never ahead of the rows scored, and the last step comes with the last share.
TEST(ShareProgressTest, TheCallerStepsOncePerGridPointWhateverTheReports)
{
    std::mt19937 rng(25);
    for (const auto& [rows, workers] : {std::pair{150, 3}, {2, 3}, {0, 2}, {1000, 1}, {7, 5}}) {
        const int gridSize = 300;
        int steps = 0;
        ShareProgress::Tracker progress(workers, rows, gridSize, [&] { ++steps; });
        std::vector<std::int64_t> done(static_cast<std::size_t>(workers), 0);
        for (int report = 0; report < 400; ++report) {
            const int w = std::uniform_int_distribution<int>(0, workers - 1)(rng);
            auto& d = done[static_cast<std::size_t>(w)];
            d = std::min<std::int64_t>(gridSize, d + std::uniform_int_distribution<int>(0, 3)(rng));
            progress.reported(w, d);
            std::int64_t weighted = 0;
            for (int v = 0; v < workers; ++v) {
                const ShareProgress::Rows share = ShareProgress::rowsOf(v, workers, rows);
                weighted += done[static_cast<std::size_t>(v)] * (share.end - share.begin);
            }
            if (rows > 0) {
                EXPECT_EQ(steps, weighted / rows) << rows << " rows over " << workers;
            }
        }
        EXPECT_LE(steps, gridSize);
        progress.ended();
        EXPECT_EQ(steps, gridSize) << rows << " rows over " << workers;
        EXPECT_EQ(progress.taken(), gridSize);
    }
}

TEST(ShareProgressTest, AReportThatGoesBackOrPastTheGridIsRefused)
{
    ShareProgress::Tracker progress(2, 10, 5, {});
    progress.reported(0, 3);
    EXPECT_THROW(progress.reported(0, 2), std::runtime_error);
    EXPECT_THROW(progress.reported(1, 6), std::runtime_error);
    progress.reported(1, 5);
    progress.ended();
    EXPECT_EQ(progress.taken(), 5);
}

}  // namespace
