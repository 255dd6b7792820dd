#include "models/TModel.h"

#include "objects/Values.h"

VectorPtr widthsAt(const Vector& sigma, double c)
{
    auto h = std::make_shared<Vector>(10, 2);
    for (int j = 0; j < sigma.size(); ++j)
        h->add(std::make_shared<CDouble>(sigma.getDouble(j) * c));
    return h;
}

std::vector<double> TCritery::scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                        const std::function<void()>& step, const char*)
{
    VectorPtr scoredParams;
    if (params) {
        scoredParams = params->cloneVector();
        scoredParams->add(nullptr);
    }
    std::vector<double> scores;
    scores.reserve(grid.size());
    for (const double c : grid) {
        VectorPtr h = widthsAt(sigma, c);
        if (!scoredParams) {
            scores.push_back(getCriterion(*h));
        } else {
            scoredParams->set(scoredParams->size() - 1, h->clone());
            scores.push_back(getCriterion(*scoredParams));
        }
        if (step)
            step();
    }
    return scores;
}
