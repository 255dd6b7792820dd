// Scoring for more than 16 columns. With that many columns a kernel product of rows near
// the window's edge may underflow (to a subnormal, or even to 0.0), and so may a density,
// which the plain loops then report as no density at all. The certified estimates are
// therefore used only where they prove every density with rows in the window to be a
// normal double: the bound then also covers the products' underflow (at most d * 2^-1075
// per row, below 2^-90 of a sum of at least 2^-960). Anywhere else the row is classified
// exactly as the plain loops do, from its rows in the window.

#include <algorithm>
#include <limits>

#include "models/fast/DenseReference.h"
#include "models/fast/FastSweep.h"

namespace {

constexpr double kSmallestSum = 0x1p-960;
constexpr double kSmallestDensity = 0x1p-1000;

}  // namespace

// 1 right, 0 wrong, -1 no class has a density (the row cannot be decided).
int SweepScorer::decideWide(int i, int g)
{
    const int y = plan.cls[i];
    const int classes = plan.classes;
    // Whether every class with rows in the window has a certain, positive density interval.
    auto settle = [&](bool tight) {
        bool usable = true;
        for (int q = 0; q < classes; ++q) {
            if (accCount[q] == 0)
                continue;
            Estimate& e = est[q];
            e = estimate(q, g, q == y, tight);
            if (e.exact)
                usable = usable && plan.dupExact && e.lo >= kSmallestDensity;
            else
                usable = usable && e.sum - e.err >= kSmallestSum && e.lo >= kSmallestDensity
                         && e.hi < std::numeric_limits<double>::infinity();
        }
        return usable;
    };
    // With every density positive: 1 or 0 when the intervals settle it, -1 otherwise.
    auto verdict = [&]() {
        if (accCount[y] == 0)
            return 0;
        bool open = false;
        for (int q = 0; q < classes; ++q) {
            if (q == y || accCount[q] == 0)
                continue;
            const Estimate& a = est[y];
            const Estimate& b = est[q];
            const bool yes = q < y ? a.lo > b.hi : a.lo >= b.hi;
            const bool no = q < y ? b.lo >= a.hi : b.lo > a.hi;
            if (no)
                return 0;
            open = open || !yes;
        }
        return open ? -1 : 1;
    };
    for (const bool tight : {false, true}) {
        if (settle(tight)) {
            const int v = verdict();
            if (v >= 0)
                return v;
        }
    }
    ++recomputedCount;
    double best = -1.0;
    int chosen = -1;
    for (int q = 0; q < classes; ++q) {
        const double f = accCount[q] == 0 ? DenseReference::NO_DENSITY : exactDensity(i, q, g);
        if (f != DenseReference::NO_DENSITY && f > best) {
            best = f;
            chosen = q;
        }
    }
    return chosen == -1 ? -1 : (chosen == y ? 1 : 0);
}

void SweepScorer::scoreWide(int i, const PointCounts& counts)
{
    std::fill(acc.begin(), acc.end(), 0.0);
    std::fill(accCount.begin(), accCount.end(), 0);
    for (int g = 0; g < plan.points; ++g) {
        accumulate(g);
        if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
            continue;
        bool any = false;
        for (int q = 0; q < plan.classes; ++q)
            any = any || accCount[q] > 0;
        const int v = any ? decideWide(i, g) : -1;
        if (v == 0)
            ++counts.errors[g];
        else if (v < 0)
            countUndecided(g, counts);
    }
}
