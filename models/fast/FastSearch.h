#pragma once
// The leave-one-out search of the width factor of the class-density classifier, fast,
// over dense arrays. Every criterion value equals, to the bit, the one the plain loops
// give (DenseReference) and hence the object-model classes: the engine settles most
// (row, grid point) decisions from certified bounds and recomputes the doubtful ones
// with the plain arithmetic. Rows are spread over threads; the results do not depend
// on their number. Memory: O(rows * columns) plus O(rows) per thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "models/fast/DenseSample.h"
#include "models/fast/InstructionSet.h"

namespace FastSearch {

struct Options {
    unsigned threads = 0;  // 0: one per hardware thread
    // The widest kernels allowed; the search takes the widest of them the processor has.
    InstructionSet instructionSets = InstructionSet::Avx512;
};

struct Result : GridScores {
    std::int64_t recomputed = 0;  // decisions recomputed with the plain arithmetic
    bool plainLoops = false;      // inputs outside the certified ranges: every decision plain
    InstructionSet kernels = InstructionSet::None;  // whose kernels the plan had; None: plain loops
};

// The criterion at every grid point c, the widths being sigma_j * c. stepIt (may be
// empty) is called exactly grid.size() times, always from the calling thread, as the
// rows get scored. Throws SystemException on a malformed sample.
Result search(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
              bool strict, const std::function<void()>& stepIt = {}, const Options& options = {});

// The counts behind search over the query rows of share only (every row of the sample
// remains a kernel centre). Under strict, a grid point may stop being counted once a row
// of the share is undecided there: undecided is then above 0 and errors means nothing.
// stepIt as for search, exactly grid.size() calls as the share's rows get scored.
GridCounts countShare(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
                      bool strict, RowShare share, const std::function<void()>& stepIt = {},
                      const Options& options = {});

// The criterion from counts summed over shares that cover every row: wrong / scored, or
// 1e101 under strict where some row is undecided. The one place counts become scores.
GridScores scoresOf(const GridCounts& summed, bool strict);

// The class position the leave-one-out classifier gives each row at these widths, in the
// search's rule and arithmetic: -1 where no class decides the row, -2 for a row without a
// class. Plain loops over every pair of rows, spread over the options' threads.
std::vector<int> verdictsAt(const DenseSample& sample, const std::vector<double>& widths, const Options& options = {});

// The criterion at one width vector; errors (may be null) receives the wrong rows, or
// -1 when the result is 1e101.
double criterionAt(const DenseSample& sample, const std::vector<double>& widths, bool strict,
                   std::int64_t* errors = nullptr, const Options& options = {});

constexpr std::size_t npos = static_cast<std::size_t>(-1);

// The grid point a search keeps: the first with the smallest criterion below 1e101, or
// npos when every point is 1e101.
std::size_t bestIndex(const std::vector<double>& criterion);

// std::thread::hardware_concurrency, at least 1.
unsigned defaultThreads();

}  // namespace FastSearch
