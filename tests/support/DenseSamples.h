#pragma once
// Seeded samples in dense arrays, for the tests of the search engines and for the
// benchmark (which links no GoogleTest; the comparison with the plain loops is
// PlainLoopsAgreement.h).

#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <random>
#include <vector>

#include "models/fast/DenseSample.h"

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

// Population standard deviation of each column over the scored rows (class -1 is
// neither scored nor a centre).
inline std::vector<double> columnDeviations(const DenseRows& s)
{
    std::vector<double> sigma(s.columns);
    for (int j = 0; j < s.columns; ++j) {
        double sum = 0.0;
        int n = 0;
        for (int r = 0; r < s.rows(); ++r) {
            if (s.cls[r] != -1) {
                sum += s.x[r * s.columns + j];
                ++n;
            }
        }
        const double mean = sum / n;
        double sq = 0.0;
        for (int r = 0; r < s.rows(); ++r) {
            if (s.cls[r] != -1)
                sq += (s.x[r * s.columns + j] - mean) * (s.x[r * s.columns + j] - mean);
        }
        sigma[j] = std::sqrt(sq / n);
    }
    return sigma;
}

// Where class c's blob sits in column j.
using BlobCentre = std::function<double(int c, int j)>;

// Overlapping Gaussian blobs of unit spread around centre(c, j), classes drawn at random.
inline DenseRows gaussianBlobs(int rows, int columns, int classes, std::uint64_t seed,
                               const BlobCentre& centre = [](int c, int j) { return c * ((j % 3) - 1.0) * 0.8; })
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
            s.x.push_back(centre(c, j) + noise(rng));
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

}  // namespace testsupport
