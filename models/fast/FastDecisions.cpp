#include <algorithm>
#include <cstdint>
#include <memory>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastSweep.h"

Decisions::Decisions(const SweepPlan& plan, const RowBuckets& buckets)
    : plan(plan),
      buckets(buckets),
      acc(static_cast<std::size_t>(plan.classes) * plan.padded),
      accCount(plan.classes),
      est(plan.classes)
{
    unsure.reserve(plan.classes);
}

void Decisions::restart()
{
    std::fill(acc.begin(), acc.end(), 0.0);
    std::fill(accCount.begin(), accCount.end(), 0);
}

void Decisions::accumulate(int g)
{
    const int padded = plan.padded;
    for (int q = 0; q < plan.classes; ++q) {
        const std::size_t cell = static_cast<std::size_t>(q) * (plan.points + 1) + g;
        accCount[q] += buckets.counts()[cell];
        const double* from = buckets.sums() + cell * padded;
        double* to = &acc[static_cast<std::size_t>(q) * padded];
        for (int m = 0; m < padded; ++m)
            to[m] = to[m] + from[m];
    }
}

void Decisions::setRunning(int q, std::int64_t rows, const double* sums)
{
    accCount[q] = rows;
    std::copy(sums, sums + plan.padded, &acc[static_cast<std::size_t>(q) * plan.padded]);
}

bool Decisions::anyRows() const
{
    bool any = false;
    for (int q = 0; q < plan.classes; ++q)
        any = any || accCount[q] > 0;
    return any;
}

// The sum S of class q computed by the plain loops and the estimate T from the
// coefficient sums differ by at most
//   (2N + G + 40 d' + 16) * 2^-52 * B,   B = 0.75^d * (N + sum_m E_m t^m),
// N the rows in the window, d' the padded column count. B bounds every kernel product
// from above with no cancellation (each row adds 0.75^d * prod (1 + a_j t) >= 0.75^d),
// which makes the analysis short: each plain kernel is off by at most about 9u absolute
// per column near the window's edge (u = 2^-53), each product by about (10d + 1) u
// 0.75^d; the plain sequential sum of N non-negative terms adds gamma(N) times their sum;
// the coefficient sums, grouped by bucket and then summed over the grid, add gamma(N + G)
// relative to their (non-negative) values, the coefficients themselves gamma(7d), the
// powers of t and their sum gamma(4d). The factor 2 on top is a safety margin. The density
// f = fl(S / D) is monotone in S; the quotient by D is widened by 16u on each side.
Decisions::Estimate Decisions::estimate(int q, int g, bool own, bool tight) const
{
    const int padded = plan.padded;
    const double n = static_cast<double>(accCount[q]);
    const double* e = &acc[static_cast<std::size_t>(q) * padded];
    const std::size_t at = plan.denominatorAt(q, own, g);
    if (e[0] * plan.t[g] <= 0x1p-60) {
        // Every row in the window is so close that each u * u rounds away against 1.0:
        // each plain product is exactly 0.75^d and so is every partial sum's step.
        const double f = n * plan.dupProduct / plan.denominator[at];
        return {f, f, true, n * plan.dupProduct, 0.0};
    }
    const double* ps = &plan.powSigned[static_cast<std::size_t>(g) * padded];
    double sumT = 0.0;
    for (int m = 0; m < padded; ++m)
        sumT = sumT + e[m] * ps[m];
    const double estimateT = (sumT + n) * plan.dupProduct;
    double magnitude;
    if (tight) {
        const double* pa = &plan.powAbs[static_cast<std::size_t>(g) * padded];
        double sumB = 0.0;
        for (int m = 0; m < padded; ++m)
            sumB = sumB + e[m] * pa[m];
        magnitude = (sumB + n) * plan.dupProduct;
    } else {
        // Inside the window every a_j t < 1, so each row's prod (1 + a_j t) is below 2^d.
        magnitude = n * plan.loosePerRow;
    }
    const double err = (2.0 * n + plan.points + 40.0 * padded + 16.0) * 0x1p-52 * magnitude;
    const double inv = plan.invDenominator[at];
    return {(estimateT - err) * inv * (1.0 - 0x1p-49), (estimateT + err) * inv * (1.0 + 0x1p-49), false, estimateT, err};
}

double Decisions::exactSum(int i, int q, int g) const
{
    const int d = plan.columns;
    const double* h = &plan.widths[static_cast<std::size_t>(g) * d];
    const double* xi = &plan.xr[static_cast<std::size_t>(i) * d];
    const std::uint16_t* activation = buckets.activation();
    double sum = 0.0;
    for (int p = plan.classStart[q]; p < plan.classStart[q + 1]; ++p) {
        if (activation[p] <= g)
            sum = sum + DenseReference::kernelProduct(xi, &plan.xr[static_cast<std::size_t>(p) * d], h, d);
    }
    return sum;
}

double Decisions::exactDensity(int i, int q, int g) const
{
    const double f = exactSum(i, q, g) / plan.denominator[plan.denominatorAt(q, plan.cls[i] == q, g)];
    return f == 0.0 ? NOT_DEFINED_REAL : f;
}

// The row of class y against the others from their intervals, marking the open duels.
[[gnu::always_inline]] inline Verdict::Outcome Decisions::contest(int y)
{
    unsure.clear();
    return Verdict::contest(
        y, plan.classes, [&](int q) { return accCount[q] > 0; },
        [&](int q) { return Verdict::Bounds{est[q].lo, est[q].hi}; }, [&](int q) { unsure.push_back(q); });
}

// The intervals from the cheap bound, then from the tight one, then the plain arithmetic
// settle it: Right or Wrong.
Verdict::Outcome Decisions::decide(int i, int g)
{
    const int y = plan.cls[i];
    const int classes = plan.classes;
    for (int q = 0; q < classes; ++q) {
        if (accCount[q] > 0)
            est[q] = estimate(q, g, q == y, false);
    }
    Verdict::Outcome outcome = contest(y);
    if (outcome == Verdict::Unsettled) {
        for (int q = 0; q < classes; ++q) {
            if (accCount[q] > 0 && !est[q].exact)
                est[q] = estimate(q, g, q == y, true);
        }
        outcome = contest(y);
    }
    if (outcome == Verdict::Unsettled) {
        ++recomputedCount;
        unsure.push_back(y);
        for (const int q : unsure) {
            if (!est[q].exact) {
                const double f = exactDensity(i, q, g);
                est[q] = {f, f, true, 0.0, 0.0};
            }
        }
        outcome = contest(y);
        if (outcome == Verdict::Unsettled)
            throw SystemException("SweepScorer.decide", "Решение строки не определено после пересчета");
    }
    return outcome;
}

void ScalarScoring::score(int i, const PointCounts& counts)
{
    const int y = plan.cls[i];
    decisions.restart();
    for (int g = 0; g < plan.points; ++g) {
        decisions.accumulate(g);
        if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
            continue;
        Verdict::Outcome outcome = Verdict::presence(decisions.anyRows(), decisions.hasRows(y));
        if (outcome == Verdict::Unsettled)
            outcome = decisions.decide(i, g);
        counts.add(g, outcome, plan.strict);
    }
}

VectorScoring::VectorScoring(const SweepPlan& plan, const RowBuckets& buckets, Decisions& decisions)
    : plan(plan), buckets(buckets), decisions(decisions), paddedPoints((plan.points + 3) / 4 * 4)
{
    const std::size_t band = static_cast<std::size_t>(plan.classes) * paddedPoints;
    prefix = alignedDoubles(prefixStore, band * 4, 32);
    prefixCount.resize(band);
    bandLo.resize(band);
    bandHi.resize(band);
    status.resize(paddedPoints);
    transposeTables();
}

// The plan's tables grid point by grid point within each of their rows; the padding
// points repeat the last one.
void VectorScoring::transposeTables()
{
    const int stride = paddedPoints;
    const int rows = plan.classes * 2;
    powSigned.resize(static_cast<std::size_t>(4) * stride);
    t.resize(stride);
    denominator.resize(static_cast<std::size_t>(rows) * stride);
    invDenominator.resize(denominator.size());
    for (int g = 0; g < stride; ++g) {
        const int from = std::min(g, plan.points - 1);
        t[g] = plan.t[from];
        for (int m = 0; m < 4; ++m)
            powSigned[static_cast<std::size_t>(m) * stride + g] = plan.powSigned[static_cast<std::size_t>(from) * 4 + m];
        for (int k = 0; k < rows; ++k) {
            const std::size_t at = static_cast<std::size_t>(from) * rows + k;
            denominator[static_cast<std::size_t>(k) * stride + g] = plan.denominator[at];
            invDenominator[static_cast<std::size_t>(k) * stride + g] = plan.invDenominator[at];
        }
    }
}

void VectorScoring::evaluate(int i)
{
    EvalArgs args;
    args.points = plan.points;
    args.paddedPoints = paddedPoints;
    args.classes = plan.classes;
    args.own = plan.cls[i];
    args.sums = buckets.sums();
    args.counts = buckets.counts();
    args.powSigned = powSigned.data();
    args.t = t.data();
    args.denominator = denominator.data();
    args.invDenominator = invDenominator.data();
    args.dupProduct = plan.dupProduct;
    args.loosePerRow = plan.loosePerRow;
    args.fixedTerms = plan.points + 40.0 * plan.padded + 16.0;
    args.prefix = prefix;
    args.prefixCount = prefixCount.data();
    args.lo = bandLo.data();
    args.hi = bandHi.data();
    args.status = status.data();
    plan.kernels.evaluate()(args);
}

void VectorScoring::score(int i, const PointCounts& counts)
{
    const int stride = paddedPoints;
    evaluate(i);
    for (int g = 0; g < plan.points; ++g) {
        auto outcome = static_cast<Verdict::Outcome>(status[g]);
        if (outcome == Verdict::Unsettled) {
            if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
                continue;
            for (int q = 0; q < plan.classes; ++q) {
                const std::size_t at = static_cast<std::size_t>(q) * stride + g;
                decisions.setRunning(q, static_cast<std::int64_t>(prefixCount[at]), &prefix[at * 4]);
            }
            outcome = decisions.decide(i, g);
        }
        counts.add(g, outcome, plan.strict);
    }
}

namespace {

std::unique_ptr<ScoringMode> modeOf(const SweepPlan& plan, const RowBuckets& buckets, Decisions& decisions)
{
    switch (plan.scoring) {
    case Scoring::Vector:
        return std::make_unique<VectorScoring>(plan, buckets, decisions);
    case Scoring::Wide:
        return std::make_unique<WideScoring>(plan, decisions);
    case Scoring::Scalar:
        break;
    }
    return std::make_unique<ScalarScoring>(plan, decisions);
}

}  // namespace

SweepScorer::SweepScorer(const SweepPlan& plan)
    : buckets(plan), decisions(plan, buckets), mode(modeOf(plan, buckets, decisions))
{
}

int SweepScorer::scoreIdentical(const int* positions, int count, const PointCounts& counts)
{
    if (count == 0)
        return 0;
    buckets.fill(positions[0]);
    for (int k = 0; k < count; ++k) {
        const int i = positions[k];
        buckets.leaveOut(i);
        mode->score(i, counts);
        buckets.putBack(i);
    }
    return count;
}
