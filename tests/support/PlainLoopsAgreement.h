#pragma once
// The comparison of a fast search with the plain loops, bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/InstructionSet.h"
#include "tests/support/DenseSamples.h"

namespace testsupport {

// The fast search through the kernels of set, on two threads, equals the plain loops at
// every grid point, bit for bit; returns the decisions recomputed.
inline std::int64_t expectSameAsPlainLoops(const DenseRows& s, const std::vector<double>& sigma,
                                           const std::vector<double>& grid, InstructionSet set, bool strict = true)
{
    const GridScores plain = DenseReference::search(s.view(), sigma, grid, strict);
    const FastSearch::Result fast = FastSearch::search(s.view(), sigma, grid, strict, {}, {2, set});
    EXPECT_FALSE(fast.plainLoops);
    for (std::size_t g = 0; g < grid.size(); ++g) {
        if (std::bit_cast<std::uint64_t>(fast.criterion[g]) != std::bit_cast<std::uint64_t>(plain.criterion[g])
            || fast.errors[g] != plain.errors[g]) {
            ADD_FAILURE() << "point " << g << " c=" << grid[g] << ", " << s.columns << " columns, "
                          << instructionSetName(set) << ": fast " << fast.criterion[g] << " plain " << plain.criterion[g];
            break;
        }
    }
    return fast.recomputed;
}

}  // namespace testsupport
