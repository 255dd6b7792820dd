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

// The outcome of the row at position i at grid point g, some class having rows in the window.
Verdict::Outcome Decisions::decideWide(int i, int g)
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
    for (const bool tight : {false, true}) {
        if (settle(tight)) {
            // Every class with rows in the window has a density: the intervals may settle it.
            const Verdict::Outcome outcome = Verdict::contest(
                y, classes, [&](int q) { return accCount[q] > 0; },
                [&](int q) { return Verdict::Bounds{est[q].lo, est[q].hi}; }, [](int) {});
            if (outcome != Verdict::Unsettled)
                return outcome;
        }
    }
    ++recomputedCount;
    const int chosen = Verdict::winner(
        classes, [&](int q) { return accCount[q] == 0 ? NOT_DEFINED_REAL : exactDensity(i, q, g); });
    return Verdict::outcomeOf(chosen, y);
}

void WideScoring::score(int i, const PointCounts& counts)
{
    decisions.restart();
    for (int g = 0; g < plan.points; ++g) {
        decisions.accumulate(g);
        if (plan.strict && counts.settled[g].load(std::memory_order_relaxed))
            continue;
        counts.add(g, decisions.anyRows() ? decisions.decideWide(i, g) : Verdict::Undecided, plan.strict);
    }
}
