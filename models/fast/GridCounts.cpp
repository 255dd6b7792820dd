#include <string>

#include "core/Utils.h"
#include "models/fast/FastSearch.h"
#include "models/fast/Sentinels.h"

GridCounts& operator+=(GridCounts& sum, const GridCounts& share)
{
    if (sum.errors.size() != share.errors.size() || sum.undecided.size() != share.undecided.size()
        || sum.errors.size() != sum.undecided.size())
        throw SystemException("GridCounts.operator+=", "Счетчики разных сеток: " + std::to_string(sum.errors.size())
                                                           + " и " + std::to_string(share.errors.size()) + " точек");
    for (std::size_t g = 0; g < sum.errors.size(); ++g) {
        sum.errors[g] += share.errors[g];
        sum.undecided[g] += share.undecided[g];
    }
    sum.scored += share.scored;
    return sum;
}

namespace FastSearch {

GridScores scoresOf(const GridCounts& summed, bool strict)
{
    const std::size_t points = summed.errors.size();
    if (summed.undecided.size() != points)
        throw SystemException("FastSearch.scoresOf", "Счетчики разных сеток: " + std::to_string(points) + " и "
                                                         + std::to_string(summed.undecided.size()) + " точек");
    if (points > 0 && summed.scored <= 0)
        throw SystemException("FastSearch.scoresOf", "В выборке нет строк для оценки");
    GridScores scores;
    scores.criterion.resize(points);
    scores.errors.resize(points);
    scores.undecided.resize(points);
    for (std::size_t g = 0; g < points; ++g) {
        if (strict && summed.undecided[g] > 0) {
            scores.criterion[g] = NO_CRITERION;
            scores.errors[g] = -1;
            scores.undecided[g] = -1;
        } else {
            scores.criterion[g] = static_cast<double>(summed.errors[g]) / static_cast<double>(summed.scored);
            scores.errors[g] = summed.errors[g];
            scores.undecided[g] = summed.undecided[g];
        }
    }
    return scores;
}

}  // namespace FastSearch
