#include "models/fast/FastSweep.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <memory>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastWideKernel.h"

SweepScorer::SweepScorer(const SweepPlan& plan)
    : plan(plan),
      counts(static_cast<std::size_t>(plan.classes) * (plan.points + 1)),
      activation(plan.stride),
      lastDiff(plan.columns, -1.0),
      lastActivation(plan.columns, 0),
      acc(static_cast<std::size_t>(plan.classes) * plan.padded),
      accCount(plan.classes),
      est(plan.classes),
      unsure(plan.classes)
{
    const std::size_t cells = counts.size() * plan.padded;
    sumsStore.resize(cells + 8);
    void* at = sumsStore.data();
    std::size_t space = sumsStore.size() * sizeof(double);
    sums = static_cast<double*>(std::align(32, cells * sizeof(double), at, space));
    if (plan.vectorWidth > 0 && plan.kernels.countedCells()) {
        const std::size_t counted = (counts.size() + kSpareCells) * kCountedCellWidth;
        countedStore.resize(counted + 8);
        void* c = countedStore.data();
        std::size_t room = countedStore.size() * sizeof(double);
        countedCells = static_cast<double*>(std::align(64, counted * sizeof(double), c, room));
    }
    if (plan.vectorWidth > 0) {
        const std::size_t band = static_cast<std::size_t>(plan.classes) * plan.paddedPoints;
        prefixStore.resize(band * 4 + 8);
        void* p = prefixStore.data();
        std::size_t room = prefixStore.size() * sizeof(double);
        prefix = static_cast<double*>(std::align(32, band * 4 * sizeof(double), p, room));
        prefixCount.resize(band);
        bandLo.resize(band);
        bandHi.resize(band);
        status.resize(plan.paddedPoints);
    }
}

void SweepScorer::fillBuckets(int i)
{
    const int padded = plan.padded;
    const int points = plan.points;
    std::fill(sums, sums + counts.size() * padded, 0.0);
    std::fill(counts.begin(), counts.end(), 0u);
    if (countedCells)
        std::fill(countedCells, countedCells + counts.size() * kCountedCellWidth, 0.0);

    double xi[kWideColumnsMax];
    for (int j = 0; j < padded; ++j)
        xi[j] = plan.xc[static_cast<std::size_t>(j) * plan.stride + i];

    auto addRow = [&](int p, int a) {
        activation[p] = static_cast<std::uint16_t>(a);
        if (a == points)
            return;
        double e[kWideColumnsMax + 1] = {1.0};
        for (int j = 0; j < padded; ++j) {
            const double v = (xi[j] - plan.xc[static_cast<std::size_t>(j) * plan.stride + p]) * plan.invSigma[j];
            const double aj = v * v;
            for (int m = j + 1; m >= 1; --m)
                e[m] = e[m] + aj * e[m - 1];
        }
        const int cell = plan.cls[p] * (points + 1) + a;
        double* target = sums + static_cast<std::size_t>(cell) * padded;
        for (int m = 0; m < padded; ++m)
            target[m] = target[m] + e[m + 1];
        ++counts[cell];
    };

    query = i;
    for (int q = 0; q < plan.classes; ++q) {
        int from = plan.classStart[q];
        const int to = plan.classStart[q + 1];
        const int width = plan.vectorWidth;
        if (width > 0 && to - from >= width) {
            PairKernelArgs args = kernelArgs(xi, q, from, from + (to - from) / width * width);
            plan.kernels.pair()(args);
            from = args.to;
        }
        if (plan.wideWidth > 0)
            from = fillWide(xi, q, from, to);
        for (int p = from; p < to; ++p) {
            double ratio = 0.0;
            for (int j = 0; j < padded; ++j) {
                const double v = (xi[j] - plan.xc[static_cast<std::size_t>(j) * plan.stride + p]) * plan.invSigma[j];
                ratio = std::max(ratio, std::fabs(v));
            }
            bool doubt = false;
            int a = plan.estimateActivation(ratio, doubt);
            if (doubt)
                a = place(p);
            addRow(p, a);
        }
    }
    if (countedCells)
        foldCounted();
}

void SweepScorer::foldCounted()
{
    for (std::size_t cell = 0; cell < counts.size(); ++cell) {
        const double* from = countedCells + cell * kCountedCellWidth;
        double* to = sums + cell * 4;
        for (int m = 0; m < 4; ++m)
            to[m] = to[m] + from[m];
        counts[cell] += static_cast<std::uint32_t>(from[4]);
    }
}

// The pair kernels' view of the rows at positions from..to of class q around the query xi.
PairKernelArgs SweepScorer::kernelArgs(const double* xi, int q, int from, int to)
{
    PairKernelArgs args;
    args.xc = plan.xc.data();
    args.stride = plan.stride;
    args.from = from;
    args.to = to;
    args.xi = xi;
    args.invSigma = plan.invSigma.data();
    args.cellBase = q * (plan.points + 1);
    args.points = plan.points;
    args.c0 = plan.c0;
    args.invStep = plan.invStep;
    args.sums = sums;
    args.counts = counts.data();
    args.activation = activation.data();
    args.bound = plan.bound.data();
    args.realColumns = plan.columns;
    args.countedCells = countedCells;
    args.spareCell = static_cast<int>(counts.size());
    return args;
}

int SweepScorer::fillWide(const double* xi, int q, int from, int to)
{
    const int step = plan.wideWidth;
    if ((to - from) / step == 0)
        return from;
    PairKernelArgs args = kernelArgs(xi, q, from, from + (to - from) / step * step);
    plan.kernels.widePair()(args);
    return args.to;
}

void SweepScorer::leaveOut(int i)
{
    leftOut = activation[i];
    --counts[static_cast<std::size_t>(plan.cls[i]) * (plan.points + 1) + leftOut];
    activation[i] = static_cast<std::uint16_t>(plan.points);
}

void SweepScorer::putBack(int i)
{
    ++counts[static_cast<std::size_t>(plan.cls[i]) * (plan.points + 1) + leftOut];
    activation[i] = leftOut;
}

int SweepScorer::scoreIdentical(const int* positions, int count, const PointCounts& counts)
{
    if (count == 0)
        return 0;
    fillBuckets(positions[0]);
    for (int k = 0; k < count; ++k) {
        const int i = positions[k];
        leaveOut(i);
        score(i, counts);
        putBack(i);
    }
    return count;
}

void SweepScorer::countUndecided(int g, const PointCounts& counts) const
{
    ++counts.undecided[g];
    if (plan.strict)
        counts.settled[g].store(1, std::memory_order_relaxed);
    else
        ++counts.errors[g];
}

int SweepScorer::place(int p)
{
    int first = 0;
    const double* xi = &plan.xr[static_cast<std::size_t>(query) * plan.columns];
    const double* xp = &plan.xr[static_cast<std::size_t>(p) * plan.columns];
    for (int j = 0; j < plan.columns; ++j) {
        const double diff = std::fabs(xi[j] - xp[j]);
        if (diff != lastDiff[j]) {
            lastDiff[j] = diff;
            lastActivation[j] = plan.columnActivation(j, diff);
        }
        first = std::max(first, lastActivation[j]);
    }
    return first;
}

void SweepScorer::accumulate(int g)
{
    const int padded = plan.padded;
    for (int q = 0; q < plan.classes; ++q) {
        const std::size_t cell = static_cast<std::size_t>(q) * (plan.points + 1) + g;
        accCount[q] += counts[cell];
        const double* from = sums + cell * padded;
        double* to = &acc[static_cast<std::size_t>(q) * padded];
        for (int m = 0; m < padded; ++m)
            to[m] = to[m] + from[m];
    }
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
SweepScorer::Estimate SweepScorer::estimate(int q, int g, bool own, bool tight) const
{
    const double n = static_cast<double>(accCount[q]);
    const double* e = &acc[static_cast<std::size_t>(q) * plan.padded];
    const std::size_t at = (static_cast<std::size_t>(g) * plan.classes + q) * 2 + (own ? 1 : 0);
    if (e[0] * plan.t[g] <= 0x1p-60) {
        // Every row in the window is so close that each u * u rounds away against 1.0:
        // each plain product is exactly 0.75^d and so is every partial sum's step.
        const double f = n * plan.dupProduct / plan.denominator[at];
        return {f, f, true, n * plan.dupProduct, 0.0};
    }
    const double* ps = &plan.powSigned[static_cast<std::size_t>(g) * plan.padded];
    double sumT = 0.0;
    for (int m = 0; m < plan.padded; ++m)
        sumT = sumT + e[m] * ps[m];
    const double estimateT = (sumT + n) * plan.dupProduct;
    double magnitude;
    if (tight) {
        const double* pa = &plan.powAbs[static_cast<std::size_t>(g) * plan.padded];
        double sumB = 0.0;
        for (int m = 0; m < plan.padded; ++m)
            sumB = sumB + e[m] * pa[m];
        magnitude = (sumB + n) * plan.dupProduct;
    } else {
        // Inside the window every a_j t < 1, so each row's prod (1 + a_j t) is below 2^d.
        magnitude = n * plan.loosePerRow;
    }
    const double err = (2.0 * n + plan.points + 40.0 * plan.padded + 16.0) * 0x1p-52 * magnitude;
    const double inv = plan.invDenominator[at];
    return {(estimateT - err) * inv * (1.0 - 0x1p-49), (estimateT + err) * inv * (1.0 + 0x1p-49), false, estimateT, err};
}

double SweepScorer::exactSum(int i, int q, int g) const
{
    const int d = plan.columns;
    const double* h = &plan.widths[static_cast<std::size_t>(g) * d];
    const double* xi = &plan.xr[static_cast<std::size_t>(i) * d];
    double sum = 0.0;
    for (int p = plan.classStart[q]; p < plan.classStart[q + 1]; ++p) {
        if (activation[p] <= g)
            sum = sum + DenseReference::kernelProduct(xi, &plan.xr[static_cast<std::size_t>(p) * d], h, d);
    }
    return sum;
}

double SweepScorer::exactDensity(int i, int q, int g) const
{
    const std::size_t at = (static_cast<std::size_t>(g) * plan.classes + q) * 2 + (plan.cls[i] == q ? 1 : 0);
    const double f = exactSum(i, q, g) / plan.denominator[at];
    return f == 0.0 ? DenseReference::NO_DENSITY : f;
}

// Whether the row at position i, its sums over the window at grid point g being in acc
// and accCount (its class having rows there), is classified right: its class must beat
// earlier classes strictly and later ones at least equally. The intervals from the cheap
// bound, then from the tight one, then the plain arithmetic settle it.
bool SweepScorer::decide(int i, int g)
{
    const int y = plan.cls[i];
    const int classes = plan.classes;
    // 1 right, 0 wrong, -1 open; marks the classes whose comparison is open.
    auto verdict = [&]() {
        bool open = false;
        for (int q = 0; q < classes; ++q) {
            unsure[q] = false;
            if (q == y || accCount[q] == 0)
                continue;
            const Estimate& a = est[y];
            const Estimate& b = est[q];
            const bool yes = q < y ? a.lo > b.hi : a.lo >= b.hi;
            const bool no = q < y ? b.lo >= a.hi : b.lo > a.hi;
            if (no)
                return 0;
            if (!yes) {
                unsure[q] = true;
                open = true;
            }
        }
        return open ? -1 : 1;
    };
    for (int q = 0; q < classes; ++q) {
        if (accCount[q] > 0)
            est[q] = estimate(q, g, q == y, false);
    }
    int v = verdict();
    if (v < 0) {
        for (int q = 0; q < classes; ++q) {
            if (accCount[q] > 0 && !est[q].exact)
                est[q] = estimate(q, g, q == y, true);
        }
        v = verdict();
    }
    if (v < 0) {
        ++recomputedCount;
        for (int q = 0; q < classes; ++q) {
            if ((q == y || unsure[q]) && !est[q].exact) {
                const double f = exactDensity(i, q, g);
                est[q] = {f, f, true, 0.0, 0.0};
            }
        }
        v = verdict();
        if (v < 0)
            throw SystemException("SweepScorer.decide", "Решение строки не определено после пересчета");
    }
    return v == 1;
}

void SweepScorer::score(int i, const PointCounts& counts)
{
    if (plan.wideColumns) {
        scoreWide(i, counts);
        return;
    }
    if (plan.vectorWidth > 0) {
        scoreVector(i, counts);
        return;
    }
    std::fill(acc.begin(), acc.end(), 0.0);
    std::fill(accCount.begin(), accCount.end(), 0);
    const int y = plan.cls[i];
    for (int g = 0; g < plan.points; ++g) {
        accumulate(g);
        if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
            continue;
        bool any = false;
        for (int q = 0; q < plan.classes; ++q)
            any = any || accCount[q] > 0;
        if (!any)
            countUndecided(g, counts);
        else if (accCount[y] == 0 || !decide(i, g))
            ++counts.errors[g];
    }
}

void SweepScorer::evaluateVector(int i)
{
    EvalArgs args;
    args.points = plan.points;
    args.paddedPoints = plan.paddedPoints;
    args.classes = plan.classes;
    args.own = plan.cls[i];
    args.sums = sums;
    args.counts = counts.data();
    args.powSigned = plan.powSignedT.data();
    args.t = plan.tT.data();
    args.denominator = plan.denominatorT.data();
    args.invDenominator = plan.invDenominatorT.data();
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

void SweepScorer::scoreVector(int i, const PointCounts& counts)
{
    const int stride = plan.paddedPoints;
    evaluateVector(i);
    for (int g = 0; g < plan.points; ++g) {
        switch (status[g]) {
        case kRight:
            break;
        case kWrong:
            ++counts.errors[g];
            break;
        case kUndecided:
            countUndecided(g, counts);
            break;
        default:
            if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
                break;
            for (int q = 0; q < plan.classes; ++q) {
                const std::size_t at = static_cast<std::size_t>(q) * stride + g;
                accCount[q] = static_cast<std::int64_t>(prefixCount[at]);
                for (int m = 0; m < 4; ++m)
                    acc[static_cast<std::size_t>(q) * 4 + m] = prefix[at * 4 + m];
            }
            if (!decide(i, g))
                ++counts.errors[g];
        }
    }
}

std::vector<std::uint16_t> SweepScorer::activations(int i)
{
    fillBuckets(i);
    leaveOut(i);
    return {activation.begin(), activation.begin() + plan.count};
}

double SweepScorer::worstBoundRatio(int i)
{
    fillBuckets(i);
    leaveOut(i);
    if (plan.vectorWidth > 0)
        evaluateVector(i);
    std::fill(acc.begin(), acc.end(), 0.0);
    std::fill(accCount.begin(), accCount.end(), 0);
    double worst = 0.0;
    for (int g = 0; g < plan.points; ++g) {
        accumulate(g);
        for (int q = 0; q < plan.classes; ++q) {
            if (accCount[q] == 0)
                continue;
            const double f = exactDensity(i, q, g);
            if (plan.vectorWidth > 0) {
                const std::size_t at = static_cast<std::size_t>(q) * plan.paddedPoints + g;
                if (!(f >= bandLo[at] && f <= bandHi[at]))
                    return std::numeric_limits<double>::infinity();
            }
            for (const bool tight : {false, true}) {
                const Estimate e = estimate(q, g, plan.cls[i] == q, tight);
                if (!(f >= e.lo && f <= e.hi))
                    return std::numeric_limits<double>::infinity();
                if (tight && !e.exact)
                    worst = std::max(worst, std::fabs(exactSum(i, q, g) - e.sum) / e.err);
            }
        }
    }
    return worst;
}
