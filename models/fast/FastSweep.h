#pragma once
// The certified sweep behind FastSearch (callers use FastSearch.h; the engine's tests use
// this header directly).
//
// For a query row i and a sample row r of class q, the kernel product at width factor c
// is 0.75^d * prod_j (1 - a_j t) with a_j = ((x_ij - x_rj) / sigma_j)^2 and t = 1 / c^2,
// a polynomial in t whose coefficients are the elementary symmetric sums of the a_j.
// Row r enters the window at a known grid point (its activation, exact: see
// SweepPlan::bound), so adding its coefficients into the bucket (q, activation) and
// summing the buckets over the grid gives, for every grid point, the exact count of
// rows in the window, an estimate of the density sum and a magnitude that bounds the
// estimate's distance from the sum the plain loops compute. A row whose decision those
// bounds cannot settle is recomputed with the plain arithmetic.

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "models/fast/DenseSample.h"
#include "models/fast/FastPairKernel.h"
#include "models/fast/InstructionSet.h"

struct SweepPlan {
    explicit SweepPlan(const Kernels& kernels) : kernels(kernels) {}

    Kernels kernels;       // the instruction set's kernels; None: the scalar loops alone
    int columns = 0;       // d
    int padded = 0;        // coefficient count per cell (d, or 4 for the vector kernel)
    int classes = 0;
    int count = 0;         // scored rows (class position >= 0)
    int points = 0;        // G
    bool strict = true;
    // Rows per step of the 4-column pair kernel and the evaluation (kernels.rowsPerStep()),
    // 0 when the plan does not use them; likewise of the wide pair kernel past 4 columns.
    int vectorWidth = 0;
    int wideWidth = 0;
    // More than 16 columns: kernel products and densities may underflow, so the rows are
    // scored by scoreWide (FastWide.cpp), which trusts only estimates well inside the
    // normal range; dupExact: n * 0.75^d stays exact for every class size.
    bool wideColumns = false;
    bool dupExact = true;
    bool uniformGrid = false;
    double c0 = 0.0;
    double invStep = 0.0;

    int stride = 0;                       // column length in xc (count rounded up to 4)
    // Scored rows by position: class after class, in row order inside a class.
    std::vector<double> xc;               // padded columns
    std::vector<double> xr;               // rows, d values each
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
    std::vector<double> t;                // 1 / (c * c)
    std::vector<double> powSigned;        // points * padded: (-t)^m, m = 1..padded
    std::vector<double> powAbs;           // points * padded: t^m
    std::vector<double> denominator;      // (points * classes + q) * 2 + own: n * P, or 0.001
    std::vector<double> invDenominator;
    // For the vector evaluation (vectorWidth > 0), grid point by grid point within each
    // row of the table: points rounded up to 4 per row.
    int paddedPoints = 0;
    std::vector<double> powSignedT;       // m * paddedPoints + g
    std::vector<double> tT;
    std::vector<double> denominatorT;     // (q * 2 + own) * paddedPoints + g
    std::vector<double> invDenominatorT;
    double dupProduct = 0.0;              // the kernel product of an exact duplicate, 0.75^d
    double loosePerRow = 0.0;             // bound of one row's share of the magnitude: 0.75^d 2^padded

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
std::optional<SweepPlan> buildSweepPlan(const DenseSample& s, const std::vector<double>& sigma,
                                        const std::vector<double>& grid, bool strict, const Kernels& kernels);

// Where a scorer counts, per grid point: its wrong rows, its undecided rows (not strict,
// also wrong ones), and, shared by every thread, the points some row left undecided under
// strict, whose criterion is settled and which need no more scoring.
struct PointCounts {
    std::int64_t* errors = nullptr;
    std::int64_t* undecided = nullptr;
    std::atomic<unsigned char>* settled = nullptr;
};

// Scores rows at every grid point; one per thread, buffers O(rows + points * classes).
class SweepScorer {
public:
    explicit SweepScorer(const SweepPlan& plan);

    // Scores rows of identical values (positions, count of them) at every grid point into
    // counts; under strict, settled points are skipped. Returns the rows.
    int scoreIdentical(const int* positions, int count, const PointCounts& counts);

    // (row, grid point) decisions that needed the plain arithmetic so far.
    std::int64_t recomputed() const { return recomputedCount; }

    // For tests: the activation of every position around position i, and the largest ratio
    // of |plain sum - estimate| to the certified error bound over every class and grid
    // point of row i (below 1 when the bound holds; infinite when a plain density falls
    // outside any of the intervals the engine would use).
    std::vector<std::uint16_t> activations(int i);
    double worstBoundRatio(int i);

private:
    // Bounds of the density fl(S / D) of one class at one grid point; for tests also the
    // estimate T of the plain sum S and the bound on |S - T|.
    struct Estimate {
        double lo = 0.0;
        double hi = 0.0;
        bool exact = false;
        double sum = 0.0;
        double err = 0.0;
    };

    // Buckets of every row around the row at position i, i itself included (as an exact
    // duplicate, active everywhere); leaveOut/putBack take a row of that value out.
    void fillBuckets(int i);
    // The rows from..to of class q through the wide pair kernel, but for a tail shorter
    // than its step; returns the first row left.
    PairKernelArgs kernelArgs(const double* xi, int q, int from, int to);
    int fillWide(const double* xi, int q, int from, int to);
    // Adds the 8-double cells of the AVX-512 4-column kernel into sums and counts.
    void foldCounted();
    void leaveOut(int i);
    void putBack(int i);
    void score(int i, const PointCounts& counts);
    void scoreWide(int i, const PointCounts& counts);
    int decideWide(int i, int g);
    void scoreVector(int i, const PointCounts& counts);
    // A row no class decides at grid point g.
    void countUndecided(int g, const PointCounts& counts) const;
    void evaluateVector(int i);
    bool decide(int i, int g);
    int place(int p);
    void accumulate(int g);
    // tight: the magnitude from the coefficient sums; otherwise the cheaper 2^d per row.
    Estimate estimate(int q, int g, bool own, bool tight) const;
    double exactSum(int i, int q, int g) const;
    double exactDensity(int i, int q, int g) const;

    const SweepPlan& plan;
    std::vector<double> sumsStore;
    double* sums = nullptr;               // per cell: padded coefficient sums (32-byte aligned)
    std::vector<std::uint32_t> counts;    // per cell
    std::vector<double> countedStore;
    double* countedCells = nullptr;       // see PairKernelArgs::countedCells (64-byte aligned)
    std::vector<std::uint16_t> activation;
    std::uint16_t leftOut = 0;            // activation of the row left out (0: a duplicate)
    int query = 0;                        // the row being scored
    std::vector<double> lastDiff;         // per column: the last difference placed exactly
    std::vector<int> lastActivation;      // and its activation (few-level columns repeat)
    std::vector<double> acc;              // classes * padded: running sums over the grid
    std::vector<std::int64_t> accCount;   // classes
    std::vector<Estimate> est;
    std::vector<char> unsure;             // classes whose comparison with the row's class is open
    std::vector<double> prefixStore;      // vector evaluation: see EvalArgs
    double* prefix = nullptr;
    std::vector<double> prefixCount;
    std::vector<double> bandLo;
    std::vector<double> bandHi;
    std::vector<unsigned char> status;
    std::int64_t recomputedCount = 0;
};
