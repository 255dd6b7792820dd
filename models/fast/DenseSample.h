#pragma once
// A sample laid out for the dense search engines: one double per cell and one class
// position per row. The arrays are borrowed and must outlive every call that gets them.

#include <cstdint>
#include <vector>

struct DenseSample {
    int rows = 0;
    int columns = 0;
    int classes = 0;
    const double* x = nullptr;  // rows * columns values, row after row
    const int* cls = nullptr;   // class position 0..classes-1 per row; -1 leaves the row out
                                // of every class and out of the scoring
};

// The leave-one-out scores of one search, one entry per grid point.
struct GridScores {
    std::vector<double> criterion;     // wrong rows / scored rows, or 1e101 (strict, undecided row)
    std::vector<std::int64_t> errors;  // wrong rows; -1 where the criterion is 1e101
    // Scored rows no class decides (every class without density). Not strict, they are
    // among the wrong rows and counted exactly; strict, 0 where the criterion is below
    // 1e101 and -1 (not counted) where it is 1e101.
    std::vector<std::int64_t> undecided;
};

// Query rows [begin, end) of a sample, end -1 meaning up to the last row. Every row of the
// sample stays a kernel centre; only the rows scored are the share's.
struct RowShare {
    int begin = 0;
    int end = -1;
};

// What a share of the query rows contributes to the scores, per grid point: disjoint
// shares covering every row add up to the whole search's counts.
struct GridCounts {
    std::vector<std::int64_t> errors;     // wrong rows (not strict: the undecided ones among them)
    std::vector<std::int64_t> undecided;  // rows no class decides (strict: > 0 may stop the count)
    std::int64_t scored = 0;              // rows of the share with a class
};

// Element by element; throws SystemException when the grids differ in size.
GridCounts& operator+=(GridCounts& sum, const GridCounts& share);
