#pragma once
// Probes into the certified sweep for the engine's tests: where each row enters a query's
// window, and how close the plain sums come to the certified error bounds.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "models/fast/FastSweep.h"

namespace testsupport {

// The activation of every position around position i, i itself left out.
inline std::vector<std::uint16_t> activations(const SweepPlan& plan, int i)
{
    RowBuckets buckets(plan);
    buckets.fill(i);
    buckets.leaveOut(i);
    return {buckets.activation(), buckets.activation() + plan.count};
}

// The largest ratio of |plain sum - estimate| to the certified error bound over every class
// and grid point of row i: below 1 when the bound holds; infinite when a plain density
// falls outside any of the intervals the engine would use.
inline double worstBoundRatio(const SweepPlan& plan, int i)
{
    RowBuckets buckets(plan);
    Decisions decisions(plan, buckets);
    buckets.fill(i);
    buckets.leaveOut(i);
    std::optional<VectorScoring> vector;
    if (plan.scoring == Scoring::Vector) {
        vector.emplace(plan, buckets, decisions);
        vector->evaluate(i);
    }
    const double outside = std::numeric_limits<double>::infinity();
    double worst = 0.0;
    decisions.restart();
    for (int g = 0; g < plan.points; ++g) {
        decisions.accumulate(g);
        for (int q = 0; q < plan.classes; ++q) {
            if (!decisions.hasRows(q))
                continue;
            const double f = decisions.exactDensity(i, q, g);
            if (vector && !(f >= vector->lo()[vector->band(q, g)] && f <= vector->hi()[vector->band(q, g)]))
                return outside;
            for (const bool tight : {false, true}) {
                const Decisions::Estimate e = decisions.estimate(q, g, plan.cls[i] == q, tight);
                if (!(f >= e.lo && f <= e.hi))
                    return outside;
                if (tight && !e.exact)
                    worst = std::max(worst, std::fabs(decisions.exactSum(i, q, g) - e.sum) / e.err);
            }
        }
    }
    return worst;
}

}  // namespace testsupport
