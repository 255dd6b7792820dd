#pragma once
// The leave-one-out search of the class-density classifier as plain loops over dense
// arrays, in the very arithmetic of the object-model classes: every scored row visits
// every row of every class at every grid point, and nothing is cached. It is the
// yardstick for the fast engine and the path the engine falls back to for inputs its
// bounds do not cover.

#include "models/fast/DenseSample.h"
#include "models/fast/DensityCore.h"
#include "models/fast/Sentinels.h"

namespace DenseReference {

// A class without density at a point; compared exactly.
constexpr double NO_DENSITY = NOT_DEFINED_REAL;
// The criterion of a grid point at which some row cannot be decided under strict.
constexpr double UNDECIDED = NO_CRITERION;

// The product of the column kernels of centre v seen from x; 0.0 as soon as one column
// lies outside its window.
inline double kernelProduct(const double* x, const double* v, const double* h, int columns)
{
    return DensityCore::rowProduct(
        columns, [x](int j) { return x[j]; }, [v](int j) { return v[j]; }, [h](int j) { return h[j]; });
}

// The density of class q at row i with row i itself left out, or NO_DENSITY.
double density(const DenseSample& s, int i, int q, const double* h, double widthProduct);

// The class position the classifier gives row i (left out of its class), or -1 when no
// class has a density there. Ties go to the lower class position.
int classify(const DenseSample& s, int i, const double* h, double widthProduct);

// The product of the widths, 1.0 times each width in column order.
double widthProduct(const double* h, int columns);

// The criterion at the widths h; errors and undecided (may be null) receive the wrong
// and the undecided rows as GridScores has them. Throws when no row is scored.
double criterion(const DenseSample& s, const double* h, bool strict, std::int64_t* errors = nullptr,
                 std::int64_t* undecided = nullptr);

// The criterion at every grid point c, with the widths sigma_j * c.
GridScores search(const DenseSample& s, const std::vector<double>& sigma, const std::vector<double>& grid, bool strict);

// Checks the shape of the sample (class positions in range, at least one scored row)
// and of sigma; throws SystemException naming place otherwise.
void validate(const DenseSample& s, const std::vector<double>* sigma, const char* place);

}  // namespace DenseReference
