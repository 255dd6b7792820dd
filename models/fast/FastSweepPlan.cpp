#include "models/fast/FastSweep.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "models/fast/FastWideKernel.h"

namespace {

// Largest |difference| whose quotient by h is still below 1, so that the kernel is not
// 0.0. Correctly rounded division is monotone, hence the window of column j at a grid
// point is exactly |fl(x_ij - x_rj)| <= this bound.
double windowBound(double h)
{
    double b = h;
    while (b > 0.0 && !(b / h < 1.0))
        b = std::nextafter(b, 0.0);
    for (;;) {
        const double next = std::nextafter(b, std::numeric_limits<double>::infinity());
        if (!(next / h < 1.0))
            return b;
        b = next;
    }
}

bool inRange(double v, double low, double high)
{
    return std::isfinite(v) && v >= low && v <= high;
}

}  // namespace

int SweepPlan::columnActivation(int j, double diff) const
{
    // Start from the estimate and walk to the exact first point; Bnd grows with c.
    const double* b = &bound[static_cast<std::size_t>(j) * points];
    const double f = (diff * invSigma[j] - c0) * invStep;
    int a = uniformGrid ? static_cast<int>(std::min(std::max(std::floor(f) + 1.0, 0.0), static_cast<double>(points)))
                        : static_cast<int>(std::lower_bound(b, b + points, diff) - b);
    while (a > 0 && diff <= b[a - 1])
        --a;
    while (a < points && diff > b[a])
        ++a;
    return a;
}

int SweepPlan::exactActivation(int i, int p) const
{
    int first = 0;
    const double* xi = &xr[static_cast<std::size_t>(i) * columns];
    const double* xp = &xr[static_cast<std::size_t>(p) * columns];
    for (int j = 0; j < columns; ++j)
        first = std::max(first, columnActivation(j, std::fabs(xi[j] - xp[j])));
    return first;
}

int SweepPlan::estimateActivation(double ratio, bool& doubtfulOut) const
{
    if (uniformGrid) {
        const double f = (ratio - c0) * invStep;
        const double near = std::nearbyint(f);
        doubtfulOut = std::fabs(f - near) < kActivationTolerance && near >= 0.0 && near <= points - 1;
        return static_cast<int>(std::min(std::max(std::floor(f) + 1.0, 0.0), static_cast<double>(points)));
    }
    const int a = static_cast<int>(std::upper_bound(grid.begin(), grid.end(), ratio) - grid.begin());
    doubtfulOut = (a < points && grid[a] - ratio <= 1e-9 * grid[a]) || (a > 0 && ratio - grid[a - 1] <= 1e-9 * grid[a - 1]);
    return a;
}

namespace {

// The engine's certified bounds hold for these inputs only; others go to the plain loops.
bool inputsInRange(const DenseSample& s, const std::vector<double>& sigma, const std::vector<double>& grid)
{
    const int points = static_cast<int>(grid.size());
    if (s.columns < 1 || s.columns > kWideColumnsMax || points < 1 || points > 65000)
        return false;
    for (int g = 0; g < points; ++g) {
        if (!inRange(grid[g], 1e-6, 1e6) || (g > 0 && !(grid[g] > grid[g - 1])))
            return false;
    }
    for (const double v : sigma) {
        if (!inRange(v, 1e-150, 1e150))
            return false;
    }
    return true;
}

void shapeGrid(SweepPlan& pl, const std::vector<double>& grid)
{
    const int d = pl.columns;
    const int points = pl.points;
    pl.grid = grid;
    pl.c0 = grid[0];
    const double step = points == 1 ? grid[0] : (grid[points - 1] - grid[0]) / (points - 1);
    double deviation = 0.0;
    for (int g = 0; g < points; ++g)
        deviation = std::max(deviation, std::fabs(grid[g] - (grid[0] + g * step)));
    pl.uniformGrid = deviation <= 1e-8 * step && grid[points - 1] / step <= 1e6;
    pl.invStep = 1.0 / step;
    const int width = pl.kernels.rowsPerStep();
    pl.vectorWidth = d <= 4 && pl.uniformGrid ? width : 0;
    pl.padded = pl.vectorWidth > 0 ? 4 : d;
    pl.wideWidth = d > 4 && pl.uniformGrid ? width : 0;
}

// Scored rows are laid out class after class, in row order inside each class: a class's
// rows are then one run, summed in the order the plain loops use. False when a value is
// out of the certified range.
bool layOutRows(SweepPlan& pl, const DenseSample& s)
{
    const int d = pl.columns;
    pl.classSize.assign(s.classes, 0);
    for (int r = 0; r < s.rows; ++r) {
        if (s.cls[r] == -1)
            continue;
        const double* row = s.x + static_cast<std::size_t>(r) * d;
        for (int j = 0; j < d; ++j) {
            if (!inRange(std::fabs(row[j]), 0.0, 1e150))
                return false;
        }
        ++pl.classSize[s.cls[r]];
    }
    pl.classStart.assign(s.classes + 1, 0);
    for (int q = 0; q < s.classes; ++q)
        pl.classStart[q + 1] = pl.classStart[q] + pl.classSize[q];
    pl.count = pl.classStart[s.classes];
    pl.cls.resize(pl.count);
    pl.sampleRow.resize(pl.count);
    pl.xr.resize(static_cast<std::size_t>(pl.count) * d);
    std::vector<int> next(pl.classStart.begin(), pl.classStart.end() - 1);
    for (int r = 0; r < s.rows; ++r) {
        if (s.cls[r] == -1)
            continue;
        const int p = next[s.cls[r]]++;
        pl.cls[p] = s.cls[r];
        pl.sampleRow[p] = r;
        std::copy(s.x + static_cast<std::size_t>(r) * d, s.x + static_cast<std::size_t>(r + 1) * d,
                  &pl.xr[static_cast<std::size_t>(p) * d]);
    }
    return true;
}

// Groups of rows with the same bits in every column, in the order of those bits.
void groupDuplicates(SweepPlan& pl)
{
    const int d = pl.columns;
    std::vector<int> order(pl.count);
    for (int p = 0; p < pl.count; ++p)
        order[p] = p;
    auto bitsOf = [&](int p, int j) { return std::bit_cast<std::uint64_t>(pl.xr[static_cast<std::size_t>(p) * d + j]); };
    auto less = [&](int a, int b) {
        for (int j = 0; j < d; ++j) {
            if (bitsOf(a, j) != bitsOf(b, j))
                return bitsOf(a, j) < bitsOf(b, j);
        }
        return a < b;
    };
    std::sort(order.begin(), order.end(), less);
    for (int k = 0; k < pl.count; ++k) {
        bool same = k > 0;
        for (int j = 0; same && j < d; ++j)
            same = bitsOf(order[k], j) == bitsOf(order[k - 1], j);
        if (!same)
            pl.groupStart.push_back(k);
        pl.groupMembers.push_back(order[k]);
    }
    pl.groupStart.push_back(pl.count);
}

// The rows column by column, and the per-column constants.
void layOutColumns(SweepPlan& pl, const std::vector<double>& sigma)
{
    const int d = pl.columns;
    pl.stride = (pl.count + 3) / 4 * 4;
    pl.xc.assign(static_cast<std::size_t>(pl.padded) * pl.stride, 0.0);
    for (int p = 0; p < pl.count; ++p) {
        for (int j = 0; j < d; ++j)
            pl.xc[static_cast<std::size_t>(j) * pl.stride + p] = pl.xr[static_cast<std::size_t>(p) * d + j];
    }
    pl.invSigma.assign(pl.padded, 1.0);
    for (int j = 0; j < d; ++j)
        pl.invSigma[j] = 1.0 / sigma[j];

    pl.dupProduct = 1.0;
    for (int j = 0; j < d; ++j)
        pl.dupProduct = pl.dupProduct * 0.75;
    pl.loosePerRow = pl.dupProduct * std::ldexp(1.0 + 0x1p-20, pl.padded);
}

// Widths, window bounds, powers of t and density denominators of every grid point.
// False when a width or density would leave the normal doubles.
bool tabulatePoints(SweepPlan& pl, const std::vector<double>& sigma, const std::vector<double>& grid)
{
    const int d = pl.columns;
    const int points = pl.points;
    const int classes = pl.classes;
    // The smallest non-zero kernel product: every column at 0.75 * (1 - (1 - 2^-53)).
    const double smallestProduct = std::pow(0.75 * 0x1p-53, d) * 0.5;

    pl.widths.resize(static_cast<std::size_t>(points) * d);
    pl.bound.resize(static_cast<std::size_t>(d) * points);
    pl.t.resize(points);
    pl.powSigned.resize(static_cast<std::size_t>(points) * pl.padded);
    pl.powAbs.resize(static_cast<std::size_t>(points) * pl.padded);
    pl.denominator.resize(static_cast<std::size_t>(points) * classes * 2);
    pl.invDenominator.resize(pl.denominator.size());
    for (int g = 0; g < points; ++g) {
        double product = 1.0;
        for (int j = 0; j < d; ++j) {
            const double h = sigma[j] * grid[g];
            if (!std::isnormal(h))
                return false;
            pl.widths[static_cast<std::size_t>(g) * d + j] = h;
            pl.bound[static_cast<std::size_t>(j) * points + g] = windowBound(h);
            product = product * h;
        }
        if (!std::isnormal(product))
            return false;
        const double t = 1.0 / (grid[g] * grid[g]);
        pl.t[g] = t;
        double power = 1.0;
        for (int m = 0; m < pl.padded; ++m) {
            power = power * t;
            // Coefficient sums that underflow must stay negligible against the bound.
            if (pl.wideColumns && !(power <= 0x1p800))
                return false;
            pl.powAbs[static_cast<std::size_t>(g) * pl.padded + m] = power;
            pl.powSigned[static_cast<std::size_t>(g) * pl.padded + m] = m % 2 == 0 ? -power : power;
        }
        for (int q = 0; q < classes; ++q) {
            for (int own = 0; own < 2; ++own) {
                const int n = pl.classSize[q] - own;
                double den = n * product;
                if (den == 0.0)
                    den = 0.001;
                // Every density of a class with a row in the window must be a normal,
                // finite double for the bounds to apply.
                if (n > 0 && !((pl.wideColumns || den <= smallestProduct * 1e300) && den >= pl.count * 1e-300))
                    return false;
                const std::size_t at = (static_cast<std::size_t>(g) * classes + q) * 2 + own;
                pl.denominator[at] = den;
                pl.invDenominator[at] = 1.0 / den;
            }
        }
    }
    return true;
}

// The same tables grid point by grid point, for the vector evaluation; padding points
// repeat the last one.
void transposeForVectors(SweepPlan& pl)
{
    const int points = pl.points;
    const int classes = pl.classes;
    const int stride = (points + 3) / 4 * 4;
    pl.paddedPoints = stride;
    pl.powSignedT.resize(static_cast<std::size_t>(4) * stride);
    pl.tT.resize(stride);
    pl.denominatorT.resize(static_cast<std::size_t>(classes) * 2 * stride);
    pl.invDenominatorT.resize(pl.denominatorT.size());
    for (int g = 0; g < stride; ++g) {
        const int from = std::min(g, points - 1);
        pl.tT[g] = pl.t[from];
        for (int m = 0; m < 4; ++m)
            pl.powSignedT[static_cast<std::size_t>(m) * stride + g] = pl.powSigned[static_cast<std::size_t>(from) * 4 + m];
        for (int k = 0; k < classes * 2; ++k) {
            pl.denominatorT[static_cast<std::size_t>(k) * stride + g] = pl.denominator[static_cast<std::size_t>(from) * classes * 2 + k];
            pl.invDenominatorT[static_cast<std::size_t>(k) * stride + g] = pl.invDenominator[static_cast<std::size_t>(from) * classes * 2 + k];
        }
    }
}

}  // namespace

std::optional<SweepPlan> buildSweepPlan(const DenseSample& s, const std::vector<double>& sigma,
                                        const std::vector<double>& grid, bool strict, const Kernels& kernels)
{
    if (!inputsInRange(s, sigma, grid))
        return std::nullopt;
    SweepPlan pl(kernels);
    pl.columns = s.columns;
    pl.classes = s.classes;
    pl.points = static_cast<int>(grid.size());
    pl.strict = strict;
    shapeGrid(pl, grid);
    if (!layOutRows(pl, s))
        return std::nullopt;
    groupDuplicates(pl);
    // Sums of exact duplicates (each adds 0.75^d) must stay exact integers times 3^d / 4^d.
    pl.wideColumns = s.columns > 16;
    pl.dupExact = std::pow(3.0, s.columns) * pl.count < 0x1p53;
    if (!pl.dupExact && !pl.wideColumns)
        return std::nullopt;
    layOutColumns(pl, sigma);
    if (!tabulatePoints(pl, sigma, grid))
        return std::nullopt;
    if (pl.vectorWidth > 0)
        transposeForVectors(pl);
    return pl;
}
