// The fast search against the plain loops for every column count from 1 to 30 and every
// instruction set: past four columns it runs the wide pair kernel, past sixteen the
// scoring that guards against underflowing products and densities.

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "models/fast/FastWideKernel.h"
#include "tests/support/PlainLoopsAgreement.h"
#include "tests/support/InstructionSets.h"

using namespace testsupport;

namespace {

[[maybe_unused]] const ::testing::Environment* const kReport =
    ::testing::AddGlobalTestEnvironment(new InstructionSetsReport);

}  // namespace

class FastWideTest : public ::testing::TestWithParam<std::tuple<int, InstructionSet>> {
protected:
    void SetUp() override
    {
        if (const std::optional<std::string> why = notExercised(set()))
            GTEST_SKIP() << *why;
    }

    int columns() const { return std::get<0>(GetParam()); }
    InstructionSet set() const { return std::get<1>(GetParam()); }
    std::vector<double> grid = programGrid();
};

TEST_P(FastWideTest, MatchesPlainLoopsOnBlobs)
{
    for (const std::uint64_t seed : {1u, 2u}) {
        const DenseRows s = gaussianBlobs(40 + 3 * static_cast<int>(seed), columns(), 3, seed * 100 + columns());
        expectSameAsPlainLoops(s, columnDeviations(s), grid, set());
        expectSameAsPlainLoops(s, columnDeviations(s), grid, set(), false);
    }
}

TEST_P(FastWideTest, MatchesPlainLoopsOnDuplicatesAndIntegerGrids)
{
    const DenseRows twoLevels = integerLevels(36, columns(), 3, 2, 7 + columns());
    expectSameAsPlainLoops(twoLevels, columnDeviations(twoLevels), grid, set());
    DenseRows repeated = gaussianBlobs(12, columns(), 2, 9 + columns());
    const DenseRows once = repeated;
    for (int copy = 0; copy < 2; ++copy) {
        repeated.x.insert(repeated.x.end(), once.x.begin(), once.x.end());
        repeated.cls.insert(repeated.cls.end(), once.cls.begin(), once.cls.end());
    }
    expectSameAsPlainLoops(repeated, columnDeviations(repeated), grid, set());
}

TEST_P(FastWideTest, MatchesPlainLoopsWithSigmaOneAndOffsetsOnTheGrid)
{
    // Sigma exactly 1 and cells that are whole hundredths: differences sit exactly one
    // width away at some grid point.
    DenseRows s = integerLevels(30, columns(), 2, 5, 11 + columns());
    for (double& v : s.x)
        v = v * 0.01;
    expectSameAsPlainLoops(s, std::vector<double>(columns(), 1.0), grid, set());
}

TEST_P(FastWideTest, MatchesPlainLoopsAtTheWindowEdgeInEveryColumn)
{
    // Rows 0 and 1 see only each other, just inside the window in every column from
    // c = 1.01 on: the kernel product is about (0.75 * 2^-52)^d, a subnormal past about 19
    // columns and 0.0 past about 20, where the plain loops find rows in the window and yet
    // no density (under strict the point cannot be decided).
    DenseRows s;
    s.columns = columns();
    s.classes = 3;
    const double edge = std::nextafter(grid[100], 0.0);
    auto add = [&](double v, int c) {
        for (int j = 0; j < s.columns; ++j)
            s.x.push_back(v);
        s.cls.push_back(c);
    };
    add(0.0, 0);
    add(edge, 1);
    add(10.0, 0);
    add(10.3, 1);
    add(10.6, 2);
    expectSameAsPlainLoops(s, std::vector<double>(columns(), 1.0), grid, set());
    expectSameAsPlainLoops(s, std::vector<double>(columns(), 1.0), grid, set(), false);
}

TEST_P(FastWideTest, CriterionAtOneWidthVectorMatchesThePlainLoops)
{
    const DenseRows s = gaussianBlobs(45, columns(), 3, 300 + columns());
    const std::vector<double> sigma = columnDeviations(s);
    for (const double c : {0.37, 1.0, 2.51}) {
        std::vector<double> widths(sigma.size());
        for (std::size_t j = 0; j < sigma.size(); ++j)
            widths[j] = sigma[j] * c;
        for (const bool strict : {true, false}) {
            std::int64_t plainErrors = 0;
            std::int64_t fastErrors = 0;
            const double plain = DenseReference::criterion(s.view(), widths.data(), strict, &plainErrors);
            const double fast = FastSearch::criterionAt(s.view(), widths, strict, &fastErrors, {2, set()});
            EXPECT_EQ(std::bit_cast<std::uint64_t>(fast), std::bit_cast<std::uint64_t>(plain)) << "c=" << c;
            EXPECT_EQ(fastErrors, plainErrors) << "c=" << c;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Columns, FastWideTest, ::testing::Combine(::testing::Range(1, 31), ::testing::ValuesIn(kSets)),
                         [](const ::testing::TestParamInfo<FastWideTest::ParamType>& info) {
                             return std::to_string(std::get<0>(info.param)) + "_"
                                    + instructionSetName(std::get<1>(info.param));
                         });

TEST(FastWideLimits, ColumnsPastTheWideKernelRunThePlainLoops)
{
    const DenseRows s = gaussianBlobs(10, kWideColumnsMax + 1, 2, 5);
    const auto result = FastSearch::search(s.view(), columnDeviations(s), programGrid(), true);
    EXPECT_TRUE(result.plainLoops);
}

// The pair kernels run a class's rows in steps of 4 or 8, two steps ahead of their adds
// into the cells, and leave the tail to the scalar loop: classes of every size from one
// row to several steps, through the 4-column kernel (2 and 4 columns) and the wide one
// (5, 8 and 17), so every start, end and remainder of those pipelines is compared with
// the plain loops.
class FastKernelRunLengths : public InstructionSetTest {};

TEST_P(FastKernelRunLengths, ClassesOfEverySizeMatchThePlainLoops)
{
    const int sizes[] = {1, 3, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 40};
    for (const int columns : {2, 4, 5, 8, 17}) {
        std::mt19937_64 rng(4242 + columns);
        std::normal_distribution<double> noise(0.0, 1.0);
        DenseRows s;
        s.columns = columns;
        s.classes = static_cast<int>(std::size(sizes));
        for (int q = 0; q < s.classes; ++q)
            for (int r = 0; r < sizes[q]; ++r) {
                for (int j = 0; j < columns; ++j)
                    s.x.push_back(0.3 * q * ((j % 3) - 1.0) + noise(rng));
                s.cls.push_back(q);
            }
        expectSameAsPlainLoops(s, columnDeviations(s), programGrid(), set());
        expectSameAsPlainLoops(s, columnDeviations(s), programGrid(), set(), false);
    }
}

INSTANTIATE_TEST_SUITE_P(Sets, FastKernelRunLengths, ::testing::ValuesIn(kSets), setName);
