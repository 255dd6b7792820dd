#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <algorithm>
#include <random>
#include <stdexcept>
#include <thread>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/FastSweep.h"
#include "models/fast/FastWideKernel.h"
#include "tests/support/DenseSamples.h"
#include "tests/support/InstructionSets.h"
#include "tests/support/SweepProbe.h"

namespace {

[[maybe_unused]] const ::testing::Environment* const kReport =
    ::testing::AddGlobalTestEnvironment(new testsupport::InstructionSetsReport);

using Sample = testsupport::DenseRows;
using testsupport::integerLevels;

std::vector<double> deviations(const Sample& s)
{
    return testsupport::columnDeviations(s);
}

// Blobs spread apart by spread, in opposite directions in even and odd columns.
Sample blobs(int rows, int columns, int classes, double spread, std::uint64_t seed)
{
    return testsupport::gaussianBlobs(rows, columns, classes, seed,
                                      [spread](int c, int j) { return c * spread * ((j % 2) ? 1.0 : -0.5); });
}

std::uint64_t bits(double v)
{
    return std::bit_cast<std::uint64_t>(v);
}

// The sample with one more column, whose value at row r is value(r).
template <class F>
Sample withColumn(const Sample& s, F value)
{
    Sample out;
    out.columns = s.columns + 1;
    out.classes = s.classes;
    out.cls = s.cls;
    for (int r = 0; r < s.rows(); ++r) {
        out.x.insert(out.x.end(), s.x.begin() + r * s.columns, s.x.begin() + (r + 1) * s.columns);
        out.x.push_back(value(r));
    }
    return out;
}

// The deviation of column j as the sample table computes it: the mean and the variance
// summed term by term, each term divided by n first. A constant column keeps the few
// units in the last place by which the mean misses the constant.
double roundedDeviation(const Sample& s, int j)
{
    int n = 0;
    for (int r = 0; r < s.rows(); ++r)
        n += s.cls[r] != -1;
    double mean = 0.0;
    for (int r = 0; r < s.rows(); ++r) {
        if (s.cls[r] != -1)
            mean = mean + s.x[r * s.columns + j] / n;
    }
    double variance = 0.0;
    for (int r = 0; r < s.rows(); ++r) {
        if (s.cls[r] != -1)
            variance = variance + (s.x[r * s.columns + j] - mean) * (s.x[r * s.columns + j] - mean) / n;
    }
    return std::sqrt(variance);
}

std::vector<double> roundedDeviations(const Sample& s)
{
    std::vector<double> sigma(s.columns);
    for (int j = 0; j < s.columns; ++j)
        sigma[j] = roundedDeviation(s, j);
    return sigma;
}

}  // namespace

// Each test runs once per instruction set, on one, two or three threads as the set
// widens, so the thread counts are exercised alongside the kernels.
class FastSearchTest : public testsupport::InstructionSetTest {
protected:
    FastSearch::Options options() const { return {static_cast<unsigned>(set()) + 1, set()}; }

    // The fast search must equal the plain loops at every grid point, bit for bit.
    void expectIdentical(const Sample& s, const std::vector<double>& sigma, const std::vector<double>& grid,
                         bool strict = true)
    {
        const GridScores plain = DenseReference::search(s.view(), sigma, grid, strict);
        const FastSearch::Result fast = FastSearch::search(s.view(), sigma, grid, strict, {}, options());
        ASSERT_EQ(fast.criterion.size(), grid.size());
        for (std::size_t g = 0; g < grid.size(); ++g) {
            ASSERT_EQ(bits(fast.criterion[g]), bits(plain.criterion[g]))
                << "point " << g << " c=" << grid[g] << " fast " << fast.criterion[g] << " plain " << plain.criterion[g];
            ASSERT_EQ(fast.errors[g], plain.errors[g]) << "point " << g;
        }
        recomputed += fast.recomputed;
    }

    // Every row's activation is the first grid point at which the plain kernel product
    // is non-zero, and the certified bound holds at every point for every class.
    void expectSoundBounds(const Sample& s, const std::vector<double>& sigma, const std::vector<double>& grid)
    {
        const Kernels kernels = kernelsFor(set());
        ASSERT_EQ(kernels.set(), set());
        auto plan = buildSweepPlan(s.view(), sigma, grid, true, kernels);
        ASSERT_TRUE(plan);
        for (int i = 0; i < plan->count; ++i) {
            const auto act = testsupport::activations(*plan, i);
            for (int p = 0; p < plan->count; ++p) {
                if (p == i)
                    continue;
                int first = plan->points;
                for (int g = plan->points - 1; g >= 0; --g) {
                    const double product = DenseReference::kernelProduct(
                        &plan->xr[i * s.columns], &plan->xr[p * s.columns], &plan->widths[g * s.columns], s.columns);
                    if (product == 0.0)
                        break;
                    first = g;
                }
                ASSERT_EQ(act[p], first) << "rows " << i << ", " << p;
            }
            const double ratio = testsupport::worstBoundRatio(*plan, i);
            ASSERT_LT(ratio, 1.0) << "row " << i;
            worstRatio = std::max(worstRatio, ratio);
        }
    }

    std::vector<double> grid = testsupport::programGrid();
    std::int64_t recomputed = 0;
    double worstRatio = 0.0;
};

INSTANTIATE_TEST_SUITE_P(Sets, FastSearchTest, ::testing::ValuesIn(testsupport::kSets), testsupport::setName);


TEST_P(FastSearchTest, MatchesPlainLoopsOnRandomBlobs)
{
    struct Shape {
        int rows, columns, classes;
        double spread;
    };
    const Shape shapes[] = {{60, 4, 3, 1.5}, {45, 2, 2, 1.0}, {40, 1, 3, 2.0}, {30, 6, 4, 1.0},
                            {50, 3, 2, 0.3}, {35, 4, 5, 2.5}, {25, 5, 2, 1.0}, {70, 4, 3, 0.8}};
    std::uint64_t seed = 11;
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(seed);
        const Sample s = blobs(shape.rows, shape.columns, shape.classes, shape.spread, seed++);
        expectIdentical(s, deviations(s), grid);
    }
}

TEST_P(FastSearchTest, MatchesPlainLoopsOnLargerSamples)
{
    const Sample continuous = blobs(240, 4, 3, 1.0, 71);
    expectIdentical(continuous, deviations(continuous), grid);
    const Sample integers = integerLevels(240, 4, 3, 4, 72);
    expectIdentical(integers, deviations(integers), grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsOnDuplicatesAndFewLevels)
{
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        const Sample s = integerLevels(48, 4, 3, 2 + static_cast<int>(seed % 3), seed);
        expectIdentical(s, deviations(s), grid);
    }
    EXPECT_GT(recomputed, 0) << "equal class sizes over few levels must produce exact ties";
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithSigmaExactlyOne)
{
    for (std::uint64_t seed = 21; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        Sample s = integerLevels(40, 3, 2, 4, seed);
        expectIdentical(s, std::vector<double>(3, 1.0), grid);
        for (double& v : s.x)
            v = v * 0.01;  // every offset a whole number of grid steps
        expectIdentical(s, std::vector<double>(3, 1.0), grid);
    }
}

TEST_P(FastSearchTest, MatchesPlainLoopsOnMirroredTies)
{
    // Around every row of class 2 the rows of classes 0 and 1 lie mirrored, with equal
    // class sizes: the densities tie exactly and the lower class must win.
    Sample s;
    s.columns = 2;
    s.classes = 3;
    for (int k = 0; k < 8; ++k) {
        const double base = 10.0 * k;
        s.add({base, 0.0}, 2);
        s.add({base + 0.3, 0.1}, 0);
        s.add({base - 0.3, -0.1}, 1);
        s.add({base + 0.7, 0.35}, 0);
        s.add({base - 0.7, -0.35}, 1);
    }
    expectIdentical(s, {1.0, 1.0}, grid);
    expectIdentical(s, deviations(s), grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithRowsOneWidthApart)
{
    // Offsets of exactly sigma * c for grid values c: the kernel is 0.0 at those points.
    Sample s;
    s.columns = 2;
    s.classes = 2;
    const std::vector<double> sigma{0.5, 2.0};
    int r = 0;
    for (const double c : {grid[9], grid[49], grid[99], grid[199], grid[299], grid[150]}) {
        s.add({0.0, 0.0}, r % 2);
        s.add({sigma[0] * c, 0.0}, (r + 1) % 2);
        s.add({0.0, sigma[1] * c}, r % 2);
        s.add({-sigma[0] * c, sigma[1] * c}, (r + 1) % 2);
        ++r;
    }
    expectIdentical(s, sigma, grid);
    expectSoundBounds(s, sigma, grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsAtTheWindowEdgeToTheLastBit)
{
    // Offsets of sigma * c and one unit in the last place either side, for many c.
    Sample s;
    s.columns = 3;
    s.classes = 3;
    const std::vector<double> sigma{0.37, 1.0, 3.1};
    const double inf = std::numeric_limits<double>::infinity();
    for (int g = 3; g < 300; g += 23) {
        const int j = g % 3;
        const double edge = sigma[j] * grid[g];
        for (const double offset : {std::nextafter(edge, 0.0), edge, std::nextafter(edge, inf)}) {
            double row[3] = {0.0, 0.0, 0.0};
            row[j] = offset;
            s.add({row[0] + g, row[1], row[2]}, g % 3);
            s.add({g + 0.0, 0.0, 0.0}, (g + 1) % 3);
        }
    }
    expectIdentical(s, sigma, grid);
    expectSoundBounds(s, sigma, grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithBinaryColumns)
{
    // Balanced 0/1 columns have sigma exactly 0.5: every difference of 1 sits two widths
    // out, exactly on grid point c = 2.
    std::mt19937_64 rng(17);
    std::normal_distribution<double> noise(0.0, 1.0);
    Sample s;
    s.columns = 3;
    s.classes = 2;
    for (int r = 0; r < 48; ++r)
        s.add({static_cast<double>(r % 2), static_cast<double>((r / 2) % 2), noise(rng) + (r % 3 == 0)},
              (r % 3 == 0) ? 1 : 0);
    const std::vector<double> sigma = deviations(s);
    ASSERT_EQ(sigma[0], 0.5);
    expectIdentical(s, sigma, grid);
    expectSoundBounds(s, sigma, grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithNearDuplicates)
{
    // Differences so small that u * u rounds away against 1.0 at small c but not at large.
    std::mt19937_64 rng(19);
    std::uniform_int_distribution<int> pick(0, 3);
    std::uniform_real_distribution<double> tiny(-1.0, 1.0);
    Sample s;
    s.columns = 2;
    s.classes = 2;
    for (int r = 0; r < 40; ++r) {
        const double scale = std::pow(10.0, -5 - pick(rng) * 2);
        s.add({pick(rng) + scale * tiny(rng), 1.0 + scale * tiny(rng)}, r % 2);
    }
    expectIdentical(s, {1.0, 1.0}, grid);
    expectSoundBounds(s, {1.0, 1.0}, grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithAnEmptyClass)
{
    Sample s = blobs(40, 2, 3, 1.0, 61);
    s.classes = 4;
    for (int& c : s.cls)
        if (c == 1)
            c = 3;
    expectIdentical(s, deviations(s), grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithOneRowClassesAndUndecidedPoints)
{
    Sample s = blobs(30, 3, 3, 3.0, 77);
    s.classes = 5;
    s.add({40.0, 40.0, 40.0}, 3);  // alone: undecided until its window reaches the others
    s.add({-7.0, 3.0, 1.0}, 4);
    const GridScores plain = DenseReference::search(s.view(), deviations(s), grid, true);
    EXPECT_EQ(plain.criterion.front(), NO_CRITERION);
    expectIdentical(s, deviations(s), grid);
    expectIdentical(s, deviations(s), grid, false);
}

TEST_P(FastSearchTest, MatchesPlainLoopsWithExcludedRows)
{
    Sample s = blobs(60, 4, 3, 1.2, 91);
    for (int r = 0; r < s.rows(); r += 4)
        s.cls[r] = -1;
    expectIdentical(s, deviations(s), grid);
}

TEST_P(FastSearchTest, MatchesPlainLoopsOnDateLikeValues)
{
    // Days since 1899 with a time of day: large values, tiny differences.
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int> day(45000, 45030);
    std::uniform_int_distribution<int> minute(0, 1439);
    Sample s;
    s.columns = 2;
    s.classes = 2;
    for (int r = 0; r < 50; ++r) {
        const double a = day(rng) + minute(rng) / 1440.0;
        s.add({a, (r % 7) + minute(rng) / 1440.0}, a > 45015.0 ? 1 : 0);
    }
    expectIdentical(s, deviations(s), grid);
    expectSoundBounds(s, deviations(s), grid);
}

// A constant column whose rounded deviation is a few units in the last place of its
// value: its widths are tiny, every difference in it is 0 and every kernel of it 0.75.
TEST_P(FastSearchTest, MatchesPlainLoopsWithAConstantColumnOfTinyDeviation)
{
    struct Case {
        int rows;
        double value;
    };
    const Case cases[] = {{150, 5.0}, {150, 3.0}, {60, 5.0}, {90, 0.1}, {120, 45000.5}};
    std::uint64_t seed = 101;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const Sample s = withColumn(blobs(c.rows, 3, 3, 1.5, seed++), [&](int) { return c.value; });
        const std::vector<double> sigma = roundedDeviations(s);
        ASSERT_GT(sigma[3], 0.0);
        ASSERT_LT(sigma[3], 1e-12 * c.value);
        expectIdentical(s, sigma, grid);
        expectIdentical(s, sigma, grid, false);
        const FastSearch::Result fast = FastSearch::search(s.view(), sigma, grid, true, {}, options());
        EXPECT_FALSE(fast.plainLoops);
    }
    const Sample s = withColumn(blobs(150, 4, 3, 1.0, 109), [](int) { return 5.0; });
    expectIdentical(s, roundedDeviations(s), grid);
    expectSoundBounds(s, roundedDeviations(s), grid);
}

// Columns with a few units in the last place between their values: the tiny deviation
// scales those differences to ordinary ratios, some of them on the window's edge.
TEST_P(FastSearchTest, MatchesPlainLoopsWithNearlyConstantColumns)
{
    std::mt19937_64 rng(113);
    std::uniform_int_distribution<int> ulps(0, 3);
    const Sample base = blobs(80, 2, 3, 1.2, 114);
    const Sample lastBits = withColumn(base, [&](int) {
        double v = 5.0;
        for (int k = ulps(rng); k > 0; --k)
            v = std::nextafter(v, 6.0);
        return v;
    });
    const Sample oneOff = withColumn(base, [](int r) { return r == 17 ? 5.0 + 1e-12 : 5.0; });
    const Sample byClass = withColumn(base, [&](int r) { return base.cls[r] == 1 ? std::nextafter(5.0, 6.0) : 5.0; });
    for (const Sample* s : {&lastBits, &oneOff, &byClass}) {
        const std::vector<double> sigma = roundedDeviations(*s);
        ASSERT_GT(sigma[2], 0.0);
        ASSERT_LT(sigma[2], 1e-10);
        expectIdentical(*s, sigma, grid);
        expectIdentical(*s, sigma, grid, false);
        expectSoundBounds(*s, sigma, grid);
    }
}

// Deviations below the certified range run the plain loops and still agree.
TEST_P(FastSearchTest, MatchesPlainLoopsWithDeviationsBelowTheCertifiedRange)
{
    const Sample s = withColumn(blobs(40, 2, 2, 1.0, 117), [](int r) { return r % 5 == 0 ? 1e-160 : 0.0; });
    const std::vector<double> sigma = roundedDeviations(s);
    ASSERT_GT(sigma[2], 0.0);
    ASSERT_LT(sigma[2], 1e-150);
    EXPECT_TRUE(FastSearch::search(s.view(), sigma, grid, true, {}, options()).plainLoops);
    expectIdentical(s, sigma, grid);
}

TEST_P(FastSearchTest, BoundsHoldOnAdversarialSamples)
{
    expectSoundBounds(integerLevels(30, 4, 3, 3, 4), deviations(integerLevels(30, 4, 3, 3, 4)), grid);
    Sample edges = integerLevels(30, 3, 2, 5, 8);
    for (double& v : edges.x)
        v = v * 0.01;
    expectSoundBounds(edges, {1.0, 1.0, 1.0}, grid);
    const Sample wide = blobs(30, 6, 3, 1.0, 12);
    expectSoundBounds(wide, deviations(wide), grid);
    const Sample narrow = blobs(30, 4, 2, 1.0, 13);
    expectSoundBounds(narrow, {1e-3, 2e-3, 1e-3, 5e-3}, grid);
    EXPECT_LT(worstRatio, 0.5);
}


TEST_P(FastSearchTest, UnusualInputsFallBackToThePlainLoops)
{
    Sample s = blobs(20, 2, 2, 1.0, 31);
    std::vector<double> sigma = deviations(s);
    sigma[1] = 0.0;  // a constant column
    const FastSearch::Result zero = FastSearch::search(s.view(), sigma, grid, true, {}, options());
    EXPECT_TRUE(zero.plainLoops);
    const GridScores plainZero = DenseReference::search(s.view(), sigma, grid, true);
    for (std::size_t g = 0; g < grid.size(); ++g)
        ASSERT_EQ(bits(zero.criterion[g]), bits(plainZero.criterion[g]));

    s.x[3] = std::nan("");
    expectIdentical(s, deviations(blobs(20, 2, 2, 1.0, 31)), grid);

    const Sample many = blobs(12, kWideColumnsMax + 1, 2, 1.0, 32);
    const auto manyResult = FastSearch::search(many.view(), deviations(many), grid, true, {}, options());
    EXPECT_TRUE(manyResult.plainLoops);
    expectIdentical(many, deviations(many), grid);

    const Sample plain = blobs(15, 2, 2, 1.0, 33);
    expectIdentical(plain, deviations(plain), {0.5, 0.2, 1.0});
    expectIdentical(plain, deviations(plain), {0.05, 0.06, 0.2, 1.7, 1.8});
}


TEST_P(FastSearchTest, ResultsDoNotDependOnThreads)
{
    const Sample s = blobs(90, 4, 3, 1.0, 41);
    const auto one = FastSearch::search(s.view(), deviations(s), grid, true, {}, {1, set()});
    for (const unsigned threads : {2u, 3u, 7u}) {
        const auto many = FastSearch::search(s.view(), deviations(s), grid, true, {}, {threads, set()});
        for (std::size_t g = 0; g < grid.size(); ++g)
            ASSERT_EQ(bits(many.criterion[g]), bits(one.criterion[g]));
    }
}

TEST_P(FastSearchTest, ProgressStepsOncePerGridPointOnTheCallingThread)
{
    const Sample s = blobs(120, 4, 3, 1.0, 43);
    for (const unsigned threads : {1u, 2u, 4u}) {
        int calls = 0;
        bool foreign = false;
        const auto caller = std::this_thread::get_id();
        FastSearch::search(
            s.view(), deviations(s), grid, true,
            [&] {
                ++calls;
                foreign = foreign || std::this_thread::get_id() != caller;
            },
            {threads, set()});
        EXPECT_EQ(calls, 300);
        EXPECT_FALSE(foreign);
    }
    int calls = 0;
    FastSearch::search(s.view(), deviations(s), {0.5, 1.0}, true, [&] { ++calls; }, options());
    EXPECT_EQ(calls, 2);
}

TEST_P(FastSearchTest, AFailingProgressCallbackStopsTheSearch)
{
    const Sample s = blobs(200, 4, 3, 1.0, 47);
    int calls = 0;
    EXPECT_THROW(FastSearch::search(
                     s.view(), deviations(s), grid, true,
                     [&] {
                         if (++calls == 5)
                             throw std::runtime_error("cancelled");
                     },
                     {2, set()}),
                 std::runtime_error);
    EXPECT_EQ(calls, 5);
}

TEST_P(FastSearchTest, CriterionAtWidthsMatchesThePlainLoopsAndTheSearch)
{
    const Sample s = blobs(60, 4, 3, 1.0, 53);
    const std::vector<double> sigma = deviations(s);
    const auto result = FastSearch::search(s.view(), sigma, grid, true, {}, options());
    const std::size_t best = FastSearch::bestIndex(result.criterion);
    ASSERT_NE(best, FastSearch::npos);
    std::vector<double> widths(sigma.size());
    for (std::size_t j = 0; j < sigma.size(); ++j)
        widths[j] = sigma[j] * grid[best];
    std::int64_t errors = 0;
    const double atBest = FastSearch::criterionAt(s.view(), widths, true, &errors, options());
    EXPECT_EQ(bits(atBest), bits(result.criterion[best]));
    EXPECT_EQ(errors, result.errors[best]);

    const Sample integers = integerLevels(80, 4, 3, 3, 54);
    const Sample edges = [] {
        Sample e = integerLevels(60, 3, 2, 6, 55);
        for (double& v : e.x)
            v = v * 0.25;
        return e;
    }();
    const struct {
        const Sample* sample;
        std::vector<double> widths;
    } cases[] = {{&s, {0.3, 1.7, 0.05, 2.2}}, {&s, {1.0, 1.0, 1.0, 1.0}}, {&integers, {1.0, 2.0, 0.5, 1.5}}, {&integers, {3.0, 3.0, 3.0, 3.0}},
                 {&integers, deviations(integers)}, {&edges, {0.25, 0.5, 0.75}}, {&edges, {1.0, 1.0, 1.0}}};
    for (const auto& c : cases) {
        for (const bool strict : {true, false}) {
            std::int64_t plainErrors = 0;
            const double plain = DenseReference::criterion(c.sample->view(), c.widths.data(), strict, &plainErrors);
            EXPECT_EQ(bits(FastSearch::criterionAt(c.sample->view(), c.widths, strict, &errors, options())), bits(plain));
            EXPECT_EQ(errors, plainErrors);
        }
    }
}
