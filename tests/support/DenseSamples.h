#pragma once
// Seeded samples in dense arrays for the tests of the search engines, and the comparison
// of a fast search with the plain loops bit for bit.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/InstructionSet.h"

namespace testsupport {

struct DenseRows {
    int columns = 1;
    int classes = 1;
    std::vector<double> x;
    std::vector<int> cls;

    int rows() const { return static_cast<int>(cls.size()); }
    DenseSample view() const { return {rows(), columns, classes, x.data(), cls.data()}; }
    void add(std::initializer_list<double> values, int c)
    {
        x.insert(x.end(), values);
        cls.push_back(c);
    }
};

// The program's grid: repeated addition of 0.01 from 0.01 while c <= 3.
inline std::vector<double> programGrid()
{
    std::vector<double> grid;
    for (double c = 0.01; c <= 3.0; c = c + 0.01)
        grid.push_back(c);
    return grid;
}

// Population standard deviation of each column.
inline std::vector<double> columnDeviations(const DenseRows& s)
{
    std::vector<double> sigma(s.columns);
    for (int j = 0; j < s.columns; ++j) {
        double sum = 0.0;
        for (int r = 0; r < s.rows(); ++r)
            sum += s.x[r * s.columns + j];
        const double mean = sum / s.rows();
        double sq = 0.0;
        for (int r = 0; r < s.rows(); ++r)
            sq += (s.x[r * s.columns + j] - mean) * (s.x[r * s.columns + j] - mean);
        sigma[j] = std::sqrt(sq / s.rows());
    }
    return sigma;
}

// Overlapping Gaussian blobs, classes drawn at random.
inline DenseRows gaussianBlobs(int rows, int columns, int classes, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::uniform_int_distribution<int> pick(0, classes - 1);
    DenseRows s;
    s.columns = columns;
    s.classes = classes;
    for (int r = 0; r < rows; ++r) {
        const int c = pick(rng);
        for (int j = 0; j < columns; ++j)
            s.x.push_back(c * ((j % 3) - 1.0) * 0.8 + noise(rng));
        s.cls.push_back(c);
    }
    return s;
}

// Integer cells 0..levels-1, classes of equal size in turn: exact duplicates and ties.
inline DenseRows integerLevels(int rows, int columns, int classes, int levels, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> level(0, levels - 1);
    DenseRows s;
    s.columns = columns;
    s.classes = classes;
    for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < columns; ++j)
            s.x.push_back(level(rng));
        s.cls.push_back(r % classes);
    }
    return s;
}

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
