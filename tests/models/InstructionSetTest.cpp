// The seam between the engine and the instruction sets: the names the cap is given by,
// the sets a cap leaves, the kernels a set resolves to, never beyond the processor, and
// the plans and searches that step through them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "models/fast/FastSearch.h"
#include "models/fast/FastSweep.h"
#include "models/fast/InstructionSet.h"
#include "tests/support/DenseSamples.h"
#include "tests/support/InstructionSets.h"

namespace {

using namespace testsupport;

TEST(InstructionSetNames, ReadBackInAnyCase)
{
    for (const InstructionSet set : kSets) {
        const std::string name = instructionSetName(set);
        EXPECT_EQ(parseInstructionSet(name), set) << name;
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        EXPECT_EQ(parseInstructionSet(upper), set) << upper;
    }
    EXPECT_EQ(instructionSetName(InstructionSet::None), "none");
    EXPECT_EQ(instructionSetName(InstructionSet::Avx2), "avx2");
    EXPECT_EQ(instructionSetName(InstructionSet::Avx512), "avx512");
    for (const char* other : {"", "avx", "avx512f", " avx2", "avx2 ", "sse4.2", "widest"})
        EXPECT_EQ(parseInstructionSet(other), std::nullopt) << '"' << other << '"';
}

TEST(InstructionSetCaps, LeaveEverySetUpToTheNarrowerOfCapAndProcessor)
{
    const InstructionSet processor = processorInstructionSet();
    for (const InstructionSet cap : kSets) {
        const std::vector<InstructionSet> sets = availableInstructionSets(cap);
        ASSERT_FALSE(sets.empty());
        for (std::size_t k = 0; k < sets.size(); ++k)
            EXPECT_EQ(sets[k], kSets[k]) << instructionSetName(cap);
        EXPECT_EQ(sets.back(), std::min(cap, processor)) << instructionSetName(cap);
    }
}

TEST(InstructionSetKernels, NeverBeyondTheProcessorAndConsistentWithTheirSet)
{
    const InstructionSet processor = processorInstructionSet();
    for (const InstructionSet allowed : kSets) {
        SCOPED_TRACE(instructionSetName(allowed));
        const Kernels kernels = kernelsFor(allowed);
        EXPECT_EQ(kernels.set(), std::min(allowed, processor));
        switch (kernels.set()) {
        case InstructionSet::None:
            EXPECT_EQ(kernels.rowsPerStep(), 0);
            EXPECT_EQ(kernels.pair(), nullptr);
            EXPECT_EQ(kernels.widePair(), nullptr);
            EXPECT_EQ(kernels.evaluate(), nullptr);
            break;
        case InstructionSet::Avx2:
        case InstructionSet::Avx512:
            EXPECT_EQ(kernels.rowsPerStep(), kernels.set() == InstructionSet::Avx2 ? 4 : 8);
            EXPECT_EQ(kernels.countedCells(), kernels.set() == InstructionSet::Avx512);
            EXPECT_NE(kernels.pair(), nullptr);
            EXPECT_NE(kernels.widePair(), nullptr);
            EXPECT_NE(kernels.evaluate(), nullptr);
            break;
        }
    }
#if !defined(__x86_64__)
    EXPECT_EQ(processor, InstructionSet::None);
#endif
}

// A plan steps through its set's kernels wherever they apply (a uniform grid; up to four
// columns the 4-column kernel, past four the wide one), so the engine's comparisons with
// the plain loops run the kernels they are named after.
class KernelPlanTest : public InstructionSetTest {};

TEST_P(KernelPlanTest, PlansAndSearchesStepThroughTheKernelsOfTheirSet)
{
    const int width = set() == InstructionSet::None ? 0 : set() == InstructionSet::Avx2 ? 4 : 8;
    const std::vector<double> grid = programGrid();
    const DenseRows narrow = gaussianBlobs(30, 4, 3, 5);
    const DenseRows wide = gaussianBlobs(30, 6, 3, 6);
    const PairFill none = PairFill::Scalar;
    const auto four = buildSweepPlan(narrow.view(), columnDeviations(narrow), grid, true, kernelsFor(set()));
    ASSERT_TRUE(four);
    EXPECT_EQ(four->kernels.set(), set());
    EXPECT_EQ(four->rowsPerStep, width);
    EXPECT_EQ(four->fill, width ? PairFill::FourColumns : none);
    EXPECT_EQ(four->scoring, width ? Scoring::Vector : Scoring::Scalar);
    const auto six = buildSweepPlan(wide.view(), columnDeviations(wide), grid, true, kernelsFor(set()));
    ASSERT_TRUE(six);
    EXPECT_EQ(six->rowsPerStep, width);
    EXPECT_EQ(six->fill, width ? PairFill::Wide : none);
    EXPECT_EQ(six->scoring, Scoring::Scalar);
    const auto uneven = buildSweepPlan(narrow.view(), columnDeviations(narrow), {0.5, 0.7, 1.5}, true, kernelsFor(set()));
    ASSERT_TRUE(uneven);
    EXPECT_EQ(uneven->fill, none);
    EXPECT_EQ(uneven->scoring, Scoring::Scalar);
    EXPECT_EQ(FastSearch::search(narrow.view(), columnDeviations(narrow), grid, true, {}, {2, set()}).kernels, set());
}

INSTANTIATE_TEST_SUITE_P(Sets, KernelPlanTest, ::testing::ValuesIn(kSets), setName);

}  // namespace
