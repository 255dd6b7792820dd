#pragma once
// The plan of one certified sweep (see FastSweep.h): the scored rows laid out for the pair
// kernels, the tables of every grid point and the ways the rows are filled and scored. Only
// buildSweepPlan writes it; the scorers of every thread read the same plan.

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "models/fast/DenseSample.h"
#include "models/fast/InstructionSet.h"

// An activation is stored as a std::uint16_t, the grid size itself meaning "never in the
// window"; the grid is kept a little below that type's range.
constexpr int kMaxGridPoints = 65000;
static_assert(kMaxGridPoints < std::numeric_limits<std::uint16_t>::max());

// How the rows around a query are placed into the buckets.
enum class PairFill {
    Scalar,       // one row at a time (no kernels, or a grid whose steps are not uniform)
    FourColumns,  // the 4-column pair kernel, up to 4 columns padded to 4
    Wide,         // the wide pair kernel, 5 columns or more
};

// How a row's buckets become outcomes at every grid point.
enum class Scoring {
    Scalar,  // grid point by grid point through the certified estimates
    Vector,  // the kernels' evaluation, four grid points at a time, beside the 4-column fill
    Wide,    // more than kExactProductColumns columns: products and densities may underflow
};

// Up to this many columns no kernel product of a row inside the window underflows, nor
// does any density; past it the rows are scored by the wide scoring (FastWide.cpp).
constexpr int kExactProductColumns = 16;

struct SweepPlan {
    explicit SweepPlan(const Kernels& kernels) : kernels(kernels) {}

    Kernels kernels;       // the instruction set's kernels; None: the scalar loops alone
    PairFill fill = PairFill::Scalar;
    Scoring scoring = Scoring::Scalar;
    int rowsPerStep = 0;   // of the pair kernel filling the rows; 0 with PairFill::Scalar
    int columns = 0;       // d
    int padded = 0;        // coefficient count per cell (d, or 4 for the 4-column kernel)
    int classes = 0;
    int count = 0;         // scored rows (class position >= 0)
    int points = 0;        // G
    bool strict = true;
    // n * 0.75^d stays exact for every class size (exact duplicates sum exactly).
    bool dupExact = true;
    bool uniformGrid = false;
    double c0 = 0.0;
    double invStep = 0.0;

    int stride = 0;                       // column length in xc (count rounded up to 4)
    // Scored rows by position: class after class, in row order inside a class.
    std::vector<double> xc;               // padded columns, for the pair kernels
    std::vector<double> xr;               // rows, d values each, for the plain arithmetic
    std::vector<int> cls;                 // class position
    std::vector<int> sampleRow;           // the sample's row at each position
    std::vector<int> classSize;
    std::vector<int> classStart;          // first position of each class; count at the end
    // Rows with identical values share their pair sums; only the self-exclusion differs.
    std::vector<int> groupStart;          // per group of identical rows, into groupMembers
    std::vector<int> groupMembers;        // positions, group after group

    std::vector<double> grid;
    std::vector<double> widths;           // points * d: sigma_j * c
    std::vector<double> bound;            // d * points: largest |difference| inside the window
    std::vector<double> invSigma;         // padded
    // The tables of the grid points, row after row of them (VectorScoring keeps its own
    // copy grid point by grid point, the layout its evaluation loads four points from).
    std::vector<double> t;                // 1 / (c * c)
    std::vector<double> powSigned;        // points * padded: (-t)^m, m = 1..padded
    std::vector<double> powAbs;           // points * padded: t^m
    std::vector<double> denominator;      // denominatorAt(q, own, g): n * P, or 0.001
    std::vector<double> invDenominator;
    double dupProduct = 0.0;              // the kernel product of an exact duplicate, 0.75^d
    double loosePerRow = 0.0;             // bound of one row's share of the magnitude: 0.75^d 2^padded

    std::size_t denominatorAt(int q, bool own, int g) const
    {
        return (static_cast<std::size_t>(g) * classes + q) * 2 + (own ? 1 : 0);
    }
    // The first grid point whose window holds row p around row i (points if none):
    // the plain test per column, without division.
    int exactActivation(int i, int p) const;
    // The same for one column and |fl(x_ij - x_pj)|.
    int columnActivation(int j, double diff) const;
    // Estimated activation from max_j |x_ij - x_pj| / sigma_j; doubtful when that value
    // is too close to a grid point for the estimate to be trusted.
    int estimateActivation(double ratio, bool& doubtful) const;
};

// The plan of a search through the given kernels (kernelsFor), or nothing when the inputs
// leave the ranges the bounds are derived for (non-finite or extreme values, more than
// kWideColumnsMax columns, a grid that does not increase); those searches run the plain
// loops.
std::unique_ptr<const SweepPlan> buildSweepPlan(const DenseSample& s, const std::vector<double>& sigma,
                                                const std::vector<double>& grid, bool strict, const Kernels& kernels);
