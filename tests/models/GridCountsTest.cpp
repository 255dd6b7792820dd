// The counts behind a search: undecided rows per grid point, shares of the query rows that
// add up to the whole search, and the one conversion of counts into the criterion.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "tests/support/DenseSamples.h"
#include "tests/support/InstructionSets.h"

using namespace testsupport;

namespace {

// Blobs whose small widths leave most rows undecided at the grid's first points, with a
// row alone far away (undecided at every point) and a few rows left out.
DenseRows withUndecidedRows(int columns, std::uint64_t seed)
{
    DenseRows s = gaussianBlobs(45, columns, 3, seed);
    for (int r = 0; r < s.rows(); r += 9)
        s.cls[r] = -1;
    for (int j = 0; j < columns; ++j)
        s.x.push_back(60.0);
    s.cls.push_back(1);
    return s;
}

void expectSameScores(const GridScores& got, const GridScores& want)
{
    ASSERT_EQ(got.criterion.size(), want.criterion.size());
    ASSERT_EQ(got.undecided.size(), want.criterion.size());
    for (std::size_t g = 0; g < want.criterion.size(); ++g) {
        ASSERT_EQ(std::bit_cast<std::uint64_t>(got.criterion[g]), std::bit_cast<std::uint64_t>(want.criterion[g]))
            << "point " << g;
        ASSERT_EQ(got.errors[g], want.errors[g]) << "point " << g;
        ASSERT_EQ(got.undecided[g], want.undecided[g]) << "point " << g;
    }
}

}  // namespace

class GridCountsTest : public InstructionSetTest {
protected:
    FastSearch::Options options() const { return {2, set()}; }
    std::vector<double> grid = programGrid();
};

INSTANTIATE_TEST_SUITE_P(Sets, GridCountsTest, ::testing::ValuesIn(kSets), setName);

// Two columns take the 4-column kernel, six the wide one, eighteen the scoring that
// guards against underflow; a grid that does not increase runs the plain loops.
TEST_P(GridCountsTest, UndecidedRowsEqualThePlainLoopsOnEveryPath)
{
    for (const int columns : {2, 6, 18}) {
        SCOPED_TRACE(columns);
        const DenseRows s = withUndecidedRows(columns, 500 + columns);
        const std::vector<double> sigma = columnDeviations(s);
        for (const bool strict : {false, true}) {
            const GridScores plain = DenseReference::search(s.view(), sigma, grid, strict);
            expectSameScores(FastSearch::search(s.view(), sigma, grid, strict, {}, options()), plain);
            if (!strict) {
                EXPECT_GT(plain.undecided.front(), 30) << "most rows alone at the first point";
                EXPECT_EQ(plain.undecided.back(), 1) << "the far row alone at the last point";
            } else {
                EXPECT_EQ(plain.undecided.back(), -1);
            }
        }
    }
    const DenseRows s = withUndecidedRows(3, 77);
    const std::vector<double> unordered{0.02, 0.01, 1.5, 0.8};
    for (const bool strict : {false, true}) {
        const FastSearch::Result fast = FastSearch::search(s.view(), columnDeviations(s), unordered, strict, {}, options());
        EXPECT_TRUE(fast.plainLoops);
        expectSameScores(fast, DenseReference::search(s.view(), columnDeviations(s), unordered, strict));
    }
}

// Shares cut through groups of identical rows (few integer levels) and through rows left
// out; their counts summed must give the search's scores to the bit.
TEST_P(GridCountsTest, DisjointSharesAddUpToTheWholeSearch)
{
    DenseRows levels = integerLevels(60, 3, 3, 3, 31);
    for (int r = 5; r < levels.rows(); r += 11)
        levels.cls[r] = -1;
    const DenseRows far = withUndecidedRows(6, 32);
    for (const DenseRows* s : {static_cast<const DenseRows*>(&levels), &far}) {
        const std::vector<double> sigma = columnDeviations(*s);
        const int n = s->rows();
        const std::vector<std::vector<RowShare>> cuts{
            {{0, -1}}, {{0, n / 3}, {n / 3, n}}, {{0, 7}, {7, n - 12}, {n - 12, -1}}, {{0, 0}, {0, n}}};
        for (const bool strict : {false, true}) {
            const FastSearch::Result whole = FastSearch::search(s->view(), sigma, grid, strict, {}, options());
            for (const auto& cut : cuts) {
                GridCounts sum{std::vector<std::int64_t>(grid.size()), std::vector<std::int64_t>(grid.size()), 0};
                for (const RowShare share : cut) {
                    int steps = 0;
                    sum += FastSearch::countShare(s->view(), sigma, grid, strict, share, [&] { ++steps; }, options());
                    EXPECT_EQ(steps, 300);
                }
                expectSameScores(FastSearch::scoresOf(sum, strict), whole);
            }
        }
    }
}

TEST(GridCountsRules, ScoresFromSummedCountsByHand)
{
    GridCounts counts{{1, 2, 0}, {0, 1, 1}, 5};
    counts += GridCounts{{2, 2, 0}, {0, 1, 0}, 3};
    EXPECT_THROW(counts += (GridCounts{{1}, {0}, 1}), SystemException);
    const GridScores lenient = FastSearch::scoresOf(counts, false);
    EXPECT_EQ(lenient.criterion, (std::vector<double>{0.375, 0.5, 0.0}));
    EXPECT_EQ(lenient.errors, (std::vector<std::int64_t>{3, 4, 0}));
    EXPECT_EQ(lenient.undecided, (std::vector<std::int64_t>{0, 2, 1}));
    const GridScores strict = FastSearch::scoresOf(counts, true);
    EXPECT_EQ(strict.criterion, (std::vector<double>{0.375, 1e101, 1e101}));
    EXPECT_EQ(strict.errors, (std::vector<std::int64_t>{3, -1, -1}));
    EXPECT_EQ(strict.undecided, (std::vector<std::int64_t>{0, -1, -1}));
    EXPECT_THROW(FastSearch::scoresOf({{0}, {0}, 0}, false), SystemException);

    const DenseRows s = gaussianBlobs(10, 2, 2, 3);
    for (const RowShare bad : {RowShare{-1, 4}, RowShare{5, 4}, RowShare{0, 11}})
        EXPECT_THROW(FastSearch::countShare(s.view(), {1.0, 1.0}, {1.0}, true, bad), SystemException);
}
