#include "models/fast/GridSearch.h"

LocalGridSearch::LocalGridSearch(FastSearch::Options options) : options(options) {}

FastSearch::Result LocalGridSearch::search(const DenseSample& sample, const std::vector<double>& sigma,
                                           const std::vector<double>& grid, bool strict,
                                           const std::function<void()>& stepIt)
{
    return FastSearch::search(sample, sigma, grid, strict, stepIt, options);
}
