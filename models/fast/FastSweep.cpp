#include "models/fast/FastSweep.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "models/fast/FastWideKernel.h"

double* alignedDoubles(std::vector<double>& store, std::size_t n, std::size_t alignment)
{
    store.resize(n + alignment / sizeof(double));
    void* at = store.data();
    std::size_t space = store.size() * sizeof(double);
    return static_cast<double*>(std::align(alignment, n * sizeof(double), at, space));
}

RowBuckets::RowBuckets(const SweepPlan& plan)
    : plan(plan),
      counts_(static_cast<std::size_t>(plan.classes) * (plan.points + 1)),
      activation_(plan.stride),
      lastDiff(plan.columns, -1.0),
      lastActivation(plan.columns, 0)
{
    sums_ = alignedDoubles(sumsStore, counts_.size() * plan.padded, 32);
    if (plan.fill == PairFill::FourColumns && plan.kernels.countedCells())
        countedCells = alignedDoubles(countedStore, (counts_.size() + kSpareCells) * kCountedCellWidth, 64);
}

void RowBuckets::fill(int i)
{
    const int padded = plan.padded;
    std::fill(sums_, sums_ + counts_.size() * padded, 0.0);
    std::fill(counts_.begin(), counts_.end(), 0u);
    if (countedCells)
        std::fill(countedCells, countedCells + counts_.size() * kCountedCellWidth, 0.0);

    double xi[kWideColumnsMax];
    for (int j = 0; j < padded; ++j)
        xi[j] = plan.xc[static_cast<std::size_t>(j) * plan.stride + i];
    // Kept beside the loop (not a member) so that the plan's values stay in registers.
    const int points = plan.points;
    auto addRow = [&](int p, int a) {
        activation_[p] = static_cast<std::uint16_t>(a);
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
        double* target = sums_ + static_cast<std::size_t>(cell) * padded;
        for (int m = 0; m < padded; ++m)
            target[m] = target[m] + e[m + 1];
        ++counts_[cell];
    };
    query = i;
    for (int q = 0; q < plan.classes; ++q) {
        const int to = plan.classStart[q + 1];
        for (int p = fillByKernel(xi, q, plan.classStart[q], to); p < to; ++p) {
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

void RowBuckets::foldCounted()
{
    for (std::size_t cell = 0; cell < counts_.size(); ++cell) {
        const double* from = countedCells + cell * kCountedCellWidth;
        double* to = sums_ + cell * 4;
        for (int m = 0; m < 4; ++m)
            to[m] = to[m] + from[m];
        counts_[cell] += static_cast<std::uint32_t>(from[4]);
    }
}

int RowBuckets::fillByKernel(const double* xi, int q, int from, int to)
{
    const int step = plan.rowsPerStep;
    if (plan.fill == PairFill::Scalar || (to - from) / step == 0)
        return from;
    PairKernelArgs args;
    args.xc = plan.xc.data();
    args.stride = plan.stride;
    args.from = from;
    args.to = from + (to - from) / step * step;
    args.xi = xi;
    args.invSigma = plan.invSigma.data();
    args.cellBase = q * (plan.points + 1);
    args.points = plan.points;
    args.c0 = plan.c0;
    args.invStep = plan.invStep;
    args.sums = sums_;
    args.counts = counts_.data();
    args.activation = activation_.data();
    args.bound = plan.bound.data();
    args.realColumns = plan.columns;
    args.countedCells = countedCells;
    args.spareCell = static_cast<int>(counts_.size());
    (plan.fill == PairFill::FourColumns ? plan.kernels.pair() : plan.kernels.widePair())(args);
    return args.to;
}

void RowBuckets::leaveOut(int i)
{
    leftOut = activation_[i];
    --counts_[static_cast<std::size_t>(plan.cls[i]) * (plan.points + 1) + leftOut];
    activation_[i] = static_cast<std::uint16_t>(plan.points);
}

void RowBuckets::putBack(int i)
{
    ++counts_[static_cast<std::size_t>(plan.cls[i]) * (plan.points + 1) + leftOut];
    activation_[i] = leftOut;
}

int RowBuckets::place(int p)
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
