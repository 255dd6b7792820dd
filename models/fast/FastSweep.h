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
#include <memory>
#include <vector>

#include "models/fast/FastPairKernel.h"
#include "models/fast/SweepPlan.h"
#include "models/fast/Verdict.h"

// Where a scorer counts, per grid point: its wrong rows, its undecided rows (not strict,
// also wrong ones), and, shared by every thread, the points some row left undecided under
// strict, whose criterion is settled and which need no more scoring.
struct PointCounts {
    std::int64_t* errors = nullptr;
    std::int64_t* undecided = nullptr;
    std::atomic<unsigned char>* settled = nullptr;

    void add(int g, Verdict::Outcome outcome, bool strict) const
    {
        if (outcome == Verdict::Right)
            return;
        if (outcome == Verdict::Undecided) {
            ++undecided[g];
            if (strict)
                settled[g].store(1, std::memory_order_relaxed);
        }
        if (Verdict::countsWrong(outcome, strict))
            ++errors[g];
    }
};

// The buckets of one query row: per cell (class, activation) the coefficient sums of the
// rows that enter the window there and their count. Buffers O(rows + points * classes).
class RowBuckets {
public:
    explicit RowBuckets(const SweepPlan& plan);

    // Every row around the row at position i, i itself included (as an exact duplicate,
    // active everywhere); leaveOut and putBack take a row of that value out and back.
    void fill(int i);
    void leaveOut(int i);
    void putBack(int i);

    // Cell (q, a) is q * (points + 1) + a; cell a = points takes the rows never active.
    const double* sums() const { return sums_; }           // padded doubles per cell
    const std::uint32_t* counts() const { return counts_.data(); }
    const std::uint16_t* activation() const { return activation_.data(); }  // per position

private:
    // The rows from..to of class q through the plan's pair kernel, but for a tail shorter
    // than its step; returns the first row left.
    int fillByKernel(const double* xi, int q, int from, int to);
    // Adds the 8-double cells of the AVX-512 4-column kernel into sums and counts.
    void foldCounted();
    int place(int p);

    const SweepPlan& plan;
    std::vector<double> sumsStore;
    double* sums_ = nullptr;              // 32-byte aligned
    std::vector<std::uint32_t> counts_;
    std::vector<double> countedStore;
    double* countedCells = nullptr;       // see PairKernelArgs::countedCells (64-byte aligned)
    std::vector<std::uint16_t> activation_;
    std::uint16_t leftOut = 0;            // activation of the row left out (0: a duplicate)
    int query = 0;                        // the row the buckets are around
    std::vector<double> lastDiff;         // per column: the last difference placed exactly
    std::vector<int> lastActivation;      // and its activation (few-level columns repeat)
};

// The sums over the window at one grid point and what they prove about the row's class.
class Decisions {
public:
    Decisions(const SweepPlan& plan, const RowBuckets& buckets);

    // Bounds of the density fl(S / D) of one class at one grid point; the estimate T of
    // the plain sum S and the bound on |S - T| beside them.
    struct Estimate {
        double lo = 0.0;
        double hi = 0.0;
        bool exact = false;
        double sum = 0.0;
        double err = 0.0;
    };

    // Running sums over the grid: from zero, adding grid point g's buckets, or set whole.
    void restart();
    void accumulate(int g);
    void setRunning(int q, std::int64_t rows, const double* sums);
    bool hasRows(int q) const { return accCount[q] > 0; }
    bool anyRows() const;

    // The outcome of the row at position i at grid point g from the running sums, the
    // row's class having rows there (decide) or some class having them (decideWide).
    Verdict::Outcome decide(int i, int g);
    Verdict::Outcome decideWide(int i, int g);

    // tight: the magnitude from the coefficient sums; otherwise the cheaper 2^d per row.
    Estimate estimate(int q, int g, bool own, bool tight) const;
    double exactSum(int i, int q, int g) const;
    double exactDensity(int i, int q, int g) const;
    // (row, grid point) decisions that needed the plain arithmetic so far.
    std::int64_t recomputed() const { return recomputedCount; }

private:
    Verdict::Outcome contest(int y);

    const SweepPlan& plan;
    const RowBuckets& buckets;
    std::vector<double> acc;              // classes * padded: running sums over the grid
    std::vector<std::int64_t> accCount;   // classes
    std::vector<Estimate> est;
    std::vector<int> unsure;              // classes whose duel with the row's class is open
    std::int64_t recomputedCount = 0;
};

// One of the plan's ways of scoring a row whose buckets are filled and left out of.
class ScoringMode {
public:
    virtual ~ScoringMode() = default;
    virtual void score(int i, const PointCounts& counts) = 0;
};

// Scoring grid point by grid point from the running sums.
class PointByPointScoring : public ScoringMode {
public:
    PointByPointScoring(const SweepPlan& plan, Decisions& decisions) : plan(plan), decisions(decisions) {}

protected:
    const SweepPlan& plan;
    Decisions& decisions;
};

class ScalarScoring final : public PointByPointScoring {
public:
    using PointByPointScoring::PointByPointScoring;
    void score(int i, const PointCounts& counts) override;
};

// The kernels' evaluation of every grid point, then the scalar decisions where it leaves
// the outcome open.
class VectorScoring final : public ScoringMode {
public:
    VectorScoring(const SweepPlan& plan, const RowBuckets& buckets, Decisions& decisions);
    void score(int i, const PointCounts& counts) override;
    // The evaluation alone: the bounds of class q at grid point g are then
    // lo()[band(q, g)] and hi()[band(q, g)].
    void evaluate(int i);
    std::size_t band(int q, int g) const { return static_cast<std::size_t>(q) * paddedPoints + g; }
    const double* lo() const { return bandLo.data(); }
    const double* hi() const { return bandHi.data(); }

private:
    void transposeTables();

    const SweepPlan& plan;
    const RowBuckets& buckets;
    Decisions& decisions;
    int paddedPoints;                     // points rounded up to 4
    std::vector<double> powSigned;        // m * paddedPoints + g, see EvalArgs
    std::vector<double> t;
    std::vector<double> denominator;      // (q * 2 + own) * paddedPoints + g
    std::vector<double> invDenominator;
    std::vector<double> prefixStore;      // see EvalArgs
    double* prefix = nullptr;
    std::vector<double> prefixCount;
    std::vector<double> bandLo;
    std::vector<double> bandHi;
    std::vector<unsigned char> status;
};

// FastWide.cpp.
class WideScoring final : public PointByPointScoring {
public:
    using PointByPointScoring::PointByPointScoring;
    void score(int i, const PointCounts& counts) override;
};

// Scores rows at every grid point through the plan's scoring; one per thread.
class SweepScorer {
public:
    explicit SweepScorer(const SweepPlan& plan);

    // Scores rows of identical values (positions, count of them) at every grid point into
    // counts; under strict, settled points are skipped. Returns the rows.
    int scoreIdentical(const int* positions, int count, const PointCounts& counts);
    std::int64_t recomputed() const { return decisions.recomputed(); }

private:
    RowBuckets buckets;
    Decisions decisions;
    std::unique_ptr<ScoringMode> mode;
};

// A buffer of n doubles aligned to alignment bytes inside store.
double* alignedDoubles(std::vector<double>& store, std::size_t n, std::size_t alignment);
