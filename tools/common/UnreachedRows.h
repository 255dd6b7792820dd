#pragma once
// The training rows no window reaches even at the grid's widest c: leave-one-out, no
// class has a density at them, so the strict search finds no c at all. For each such
// row, how wide a window would have to be.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/common/FittedSample.h"

struct UnreachedRow {
    int row = 0;  // 1-based, in the sample's order
    int classCode = 0;
    double neededC = 0.0;   // a window reaches it once c exceeds this
    std::string farColumn;  // the column that sets neededC (UTF-8)
};

struct UnreachedRows {
    double widestC = 0.0;
    std::int64_t count = 0;
    std::vector<UnreachedRow> first;  // the first few, in the sample's order

    static UnreachedRows of(const FittedSample& fitted, std::size_t shown);

    // One line per row shown (UTF-8), its class named by classInWords ("class 1
    // (versicolor)"), and what to do about them.
    std::vector<std::string> lines(const std::function<std::string(int)>& classInWords) const;
    static const char* advice();
};

// The start of dodoz's message when its search has no result, in UTF-8.
std::string noResultMessage();

// The largest distance over the columns, each in units of its own scale; column (may be
// null) receives the column where it lies.
double farthestColumn(const double* row, const double* other, const std::vector<double>& scale,
                      std::size_t* column = nullptr);
