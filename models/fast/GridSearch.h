#pragma once
// The seam between the models and whoever counts the pairs of a width-factor search: the
// classifier hands its grid to a GridSearch and never learns where the work was done.

#include <functional>
#include <vector>

#include "models/fast/DenseSample.h"
#include "models/fast/FastSearch.h"

// One search of the width factor's grid; the implementations differ only in where the pairs are
// counted, never in a result bit.
class GridSearch {
public:
    virtual ~GridSearch() = default;
    // The criterion at every grid point c, the widths being sigma_j * c; the contract of
    // FastSearch::search (stepIt exactly grid.size() times, from the calling thread).
    virtual FastSearch::Result search(const DenseSample& sample, const std::vector<double>& sigma,
                                      const std::vector<double>& grid, bool strict,
                                      const std::function<void()>& stepIt) = 0;
};

// The search in this process (FastSearch::search with its options).
class LocalGridSearch : public GridSearch {
public:
    explicit LocalGridSearch(FastSearch::Options options);

    FastSearch::Result search(const DenseSample& sample, const std::vector<double>& sigma,
                              const std::vector<double>& grid, bool strict,
                              const std::function<void()>& stepIt) override;

private:
    FastSearch::Options options;
};
