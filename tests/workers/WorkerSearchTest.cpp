// The workers' search over pools that count in this process: the shares' counts summed
// give, bit for bit, what the search in this process gives, and a pool's failure reaches
// the run as the search's error.

#include <gtest/gtest.h>

#include <bit>
#include <stdexcept>

#include "core/Utils.h"
#include "models/workers/ShareProgress.h"
#include "models/workers/WorkerSearch.h"
#include "tests/support/DenseSamples.h"
#include "tests/support/Raised.h"

namespace {

// Counts each worker's share with the engine itself, as dodoz-worker does.
class SharesHere : public WorkerPool {
public:
    explicit SharesHere(unsigned workers) : workers_(static_cast<int>(workers)) {}
    std::vector<GridCounts> count(const DenseSample& sample, const std::vector<double>& sigma,
                                  const std::vector<double>& grid, bool strict,
                                  const std::function<void()>& stepIt) override
    {
        ShareProgress::Tracker progress(workers_, sample.rows, static_cast<int>(grid.size()), stepIt);
        std::vector<GridCounts> counts;
        for (int w = 0; w < workers_; ++w) {
            const ShareProgress::Rows rows = ShareProgress::rowsOf(w, workers_, sample.rows);
            std::int64_t steps = 0;
            counts.push_back(FastSearch::countShare(sample, sigma, grid, strict, {rows.begin, rows.end},
                                                    [&] { progress.reported(w, ++steps); }, {1}));
        }
        progress.ended();
        return counts;
    }

private:
    int workers_;
};

void sharesHere(const WorkerPool::Settings& settings, std::unique_ptr<WorkerPool>& pool)
{
    pool = std::make_unique<SharesHere>(settings.workers);
}

void lostPool(const WorkerPool::Settings&, std::unique_ptr<WorkerPool>&)
{
    throw std::runtime_error("Рабочий процесс поиска 2 не отвечает 20 с");
}

WorkerPool::Settings workers(unsigned count)
{
    WorkerPool::Settings settings;
    settings.workers = count;
    return settings;
}

TEST(WorkerSearchTest, SummedSharesGiveTheSearchOfThisProcessToTheBit)
{
    const std::vector<double> grid = testsupport::programGrid();
    const testsupport::DenseRows samples[] = {testsupport::gaussianBlobs(301, 4, 2, 1),
                                              testsupport::gaussianBlobs(157, 8, 3, 2),
                                              testsupport::gaussianBlobs(97, 20, 5, 3),
                                              testsupport::integerLevels(200, 4, 4, 3, 4)};
    for (const testsupport::DenseRows& s : samples) {
        const std::vector<double> sigma = testsupport::columnDeviations(s);
        for (bool strict : {true, false}) {
            const FastSearch::Result here = FastSearch::search(s.view(), sigma, grid, strict);
            for (unsigned count : {1u, 2u, 3u, 7u}) {
                SCOPED_TRACE(std::to_string(s.columns) + " columns, " + std::to_string(count) + " workers, strict "
                             + std::to_string(strict));
                WorkerSearch search(workers(count), sharesHere);
                int steps = 0;
                const FastSearch::Result spread = search.search(s.view(), sigma, grid, strict, [&] { ++steps; });
                EXPECT_EQ(steps, static_cast<int>(grid.size()));
                ASSERT_EQ(spread.criterion.size(), grid.size());
                for (std::size_t g = 0; g < grid.size(); ++g) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(spread.criterion[g]),
                              std::bit_cast<std::uint64_t>(here.criterion[g])) << "point " << g;
                    ASSERT_EQ(spread.errors[g], here.errors[g]) << "point " << g;
                }
            }
        }
    }
}

TEST(WorkerSearchTest, APoolsFailureIsTheSearchsErrorAndAMalformedSampleFailsAsHere)
{
    const testsupport::DenseRows s = testsupport::gaussianBlobs(50, 4, 2, 5);
    const std::vector<double> sigma = testsupport::columnDeviations(s);
    WorkerSearch lost(workers(2), lostPool);
    const SystemException e = raised([&] { lost.search(s.view(), sigma, {0.5, 1.0}, true, {}); });
    EXPECT_EQ(e.place, "WorkerSearch.search");
    EXPECT_EQ(e.message, "Рабочий процесс поиска 2 не отвечает 20 с");

    WorkerSearch search(workers(2), sharesHere);
    const SystemException here = raised([&] { FastSearch::search(s.view(), {1.0}, {0.5}, true); });
    const SystemException spread = raised([&] { search.search(s.view(), {1.0}, {0.5}, true, {}); });
    EXPECT_EQ(spread.place, here.place);
    EXPECT_EQ(spread.message, here.message);
}

}  // namespace
