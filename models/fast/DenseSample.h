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
};
