#include "models/fast/FastSearch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "models/fast/DenseReference.h"
#include "models/fast/FastRows.h"
#include "models/fast/FastSweep.h"

namespace FastSearch {

namespace {

Result assemble(const std::vector<std::vector<std::int64_t>>& errors,
                const std::vector<std::atomic<unsigned char>>& undecided, std::size_t points, int scored,
                bool strict)
{
    Result result;
    result.criterion.resize(points);
    result.errors.resize(points);
    for (std::size_t g = 0; g < points; ++g) {
        std::int64_t wrong = 0;
        for (const auto& part : errors)
            wrong += part[g];
        if (strict && undecided[g].load()) {
            result.criterion[g] = NO_CRITERION;
            result.errors[g] = -1;
        } else {
            result.criterion[g] = static_cast<double>(wrong) / static_cast<double>(scored);
            result.errors[g] = wrong;
        }
    }
    return result;
}

}  // namespace

Result search(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
              bool strict, const std::function<void()>& stepIt, const Options& options)
{
    DenseReference::validate(sample, &sigma, "FastSearch.search");
    const std::size_t points = grid.size();
    if (points == 0)
        return {};
    const unsigned threads = options.threads == 0 ? defaultThreads() : options.threads;
    std::vector<std::atomic<unsigned char>> undecided(points);

    if (auto plan = buildSweepPlan(sample, sigma, grid, strict, kernelsFor(options.instructionSets))) {
        const unsigned used = std::max(1u, std::min(threads, static_cast<unsigned>(plan->count)));
        std::vector<std::unique_ptr<SweepScorer>> scorers;
        std::vector<std::vector<std::int64_t>> errors(used, std::vector<std::int64_t>(points));
        for (unsigned t = 0; t < used; ++t)
            scorers.push_back(std::make_unique<SweepScorer>(*plan));
        const int groups = static_cast<int>(plan->groupStart.size()) - 1;
        FastRows::run(groups, plan->count, used, points, stepIt, [&](unsigned t, int group) {
            return scorers[t]->scoreGroup(group, errors[t].data(), undecided.data());
        });
        Result result = assemble(errors, undecided, points, plan->count, strict);
        result.kernels = plan->kernels.set();
        for (const auto& scorer : scorers)
            result.recomputed += scorer->recomputed();
        return result;
    }

    std::vector<int> scoredRows;
    for (int r = 0; r < sample.rows; ++r) {
        if (sample.cls[r] != -1)
            scoredRows.push_back(r);
    }
    const int d = sample.columns;
    std::vector<double> widths(points * d);
    std::vector<double> products(points);
    for (std::size_t g = 0; g < points; ++g) {
        for (int j = 0; j < d; ++j)
            widths[g * d + j] = sigma[j] * grid[g];
        products[g] = DenseReference::widthProduct(&widths[g * d], d);
    }
    const int rows = static_cast<int>(scoredRows.size());
    const unsigned used = std::max(1u, std::min(threads, static_cast<unsigned>(rows)));
    std::vector<std::vector<std::int64_t>> errors(used, std::vector<std::int64_t>(points));
    FastRows::run(rows, rows, used, points, stepIt, [&](unsigned t, int k) {
        const int i = scoredRows[k];
        for (std::size_t g = 0; g < points; ++g) {
            if (strict && undecided[g].load(std::memory_order_relaxed))
                continue;
            const int y = DenseReference::classify(sample, i, &widths[g * d], products[g]);
            if (y == -1 && strict)
                undecided[g].store(1, std::memory_order_relaxed);
            else if (y != sample.cls[i])
                ++errors[t][g];
        }
        return 1;
    });
    Result result = assemble(errors, undecided, points, rows, strict);
    result.plainLoops = true;
    result.recomputed = static_cast<std::int64_t>(rows) * static_cast<std::int64_t>(points);
    return result;
}

double criterionAt(const DenseSample& sample, const std::vector<double>& widths, bool strict, std::int64_t* errors,
                   const Options& options)
{
    const Result result = search(sample, widths, {1.0}, strict, {}, options);
    if (errors)
        *errors = result.errors[0];
    return result.criterion[0];
}

std::size_t bestIndex(const std::vector<double>& criterion)
{
    double best = NO_CRITERION;
    std::size_t at = npos;
    for (std::size_t g = 0; g < criterion.size(); ++g) {
        if (criterion[g] < best) {
            best = criterion[g];
            at = g;
        }
    }
    return at;
}

unsigned defaultThreads()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace FastSearch
