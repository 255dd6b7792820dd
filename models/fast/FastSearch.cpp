#include "models/fast/FastSearch.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "core/Utils.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastRows.h"
#include "models/fast/FastSweep.h"

namespace FastSearch {

namespace {

// The counts of one share with what the search learnt on the way.
struct Counted {
    GridCounts counts;
    std::int64_t recomputed = 0;
    bool plainLoops = false;
    InstructionSet kernels = InstructionSet::None;
};

// Each thread counts into arrays of its own; the points settled under strict are shared.
class ThreadCounts {
public:
    ThreadCounts(unsigned threads, std::size_t points)
        : errors(threads, std::vector<std::int64_t>(points)), undecided(errors), settled(points)
    {
    }

    PointCounts of(unsigned t) { return {errors[t].data(), undecided[t].data(), settled.data()}; }

    GridCounts summed(std::int64_t scored) const
    {
        GridCounts sum{errors[0], undecided[0], scored};
        for (std::size_t t = 1; t < errors.size(); ++t)
            sum += GridCounts{errors[t], undecided[t], 0};
        return sum;
    }

private:
    std::vector<std::vector<std::int64_t>> errors;
    std::vector<std::vector<std::int64_t>> undecided;
    std::vector<std::atomic<unsigned char>> settled;
};

// The share with its end resolved; throws when it does not lie within the sample.
RowShare resolve(const DenseSample& sample, RowShare share, const char* place)
{
    const int end = share.end == -1 ? sample.rows : share.end;
    if (share.begin < 0 || end < share.begin || end > sample.rows)
        throw SystemException(place, "Неверная доля строк: с " + std::to_string(share.begin) + " по "
                                         + std::to_string(share.end) + " из " + std::to_string(sample.rows));
    return {share.begin, end};
}

unsigned threadsFor(const Options& options, int items)
{
    const unsigned threads = options.threads == 0 ? defaultThreads() : options.threads;
    return std::max(1u, std::min(threads, static_cast<unsigned>(std::max(items, 0))));
}

// The plan's groups of identical rows cut down to the rows of the share, empty groups left out.
struct ShareGroups {
    std::vector<int> start;
    std::vector<int> positions;
    int count() const { return static_cast<int>(start.size()) - 1; }
};

ShareGroups shareGroups(const SweepPlan& plan, RowShare share)
{
    ShareGroups groups;
    const int total = static_cast<int>(plan.groupStart.size()) - 1;
    for (int k = 0; k < total; ++k) {
        const std::size_t before = groups.positions.size();
        for (int m = plan.groupStart[k]; m < plan.groupStart[k + 1]; ++m) {
            const int p = plan.groupMembers[m];
            if (plan.sampleRow[p] >= share.begin && plan.sampleRow[p] < share.end)
                groups.positions.push_back(p);
        }
        if (groups.positions.size() > before)
            groups.start.push_back(static_cast<int>(before));
    }
    groups.start.push_back(static_cast<int>(groups.positions.size()));
    return groups;
}

Counted countSweep(const SweepPlan& plan, RowShare share, const std::function<void()>& stepIt, const Options& options)
{
    const ShareGroups groups = shareGroups(plan, share);
    const int rows = static_cast<int>(groups.positions.size());
    const unsigned used = threadsFor(options, plan.count);
    ThreadCounts counts(used, static_cast<std::size_t>(plan.points));
    std::vector<std::unique_ptr<SweepScorer>> scorers;
    for (unsigned t = 0; t < used; ++t)
        scorers.push_back(std::make_unique<SweepScorer>(plan));
    FastRows::run(groups.count(), rows, used, plan.points, stepIt, [&](unsigned t, int group) {
        const int first = groups.start[group];
        return scorers[t]->scoreIdentical(&groups.positions[first], groups.start[group + 1] - first, counts.of(t));
    });
    Counted result{counts.summed(rows)};
    result.kernels = plan.kernels.set();
    for (const auto& scorer : scorers)
        result.recomputed += scorer->recomputed();
    return result;
}

Counted countPlain(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
                   bool strict, RowShare share, const std::function<void()>& stepIt, const Options& options)
{
    const std::size_t points = grid.size();
    std::vector<int> scoredRows;
    for (int r = share.begin; r < share.end; ++r) {
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
    const unsigned used = threadsFor(options, rows);
    ThreadCounts counts(used, points);
    FastRows::run(rows, rows, used, points, stepIt, [&](unsigned t, int k) {
        const int i = scoredRows[k];
        const PointCounts into = counts.of(t);
        for (std::size_t g = 0; g < points; ++g) {
            if (strict && into.settled[g].load(std::memory_order_relaxed))
                continue;
            const int y = DenseReference::classify(sample, i, &widths[g * d], products[g]);
            if (y == -1) {
                ++into.undecided[g];
                if (strict)
                    into.settled[g].store(1, std::memory_order_relaxed);
            }
            if (y != sample.cls[i] && !(y == -1 && strict))
                ++into.errors[g];
        }
        return 1;
    });
    Counted result{counts.summed(rows)};
    result.plainLoops = true;
    result.recomputed = static_cast<std::int64_t>(rows) * static_cast<std::int64_t>(points);
    return result;
}

Counted count(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid, bool strict,
              RowShare share, const std::function<void()>& stepIt, const Options& options, const char* place)
{
    DenseReference::validate(sample, &sigma, place);
    share = resolve(sample, share, place);
    if (grid.empty())
        return {};
    if (auto plan = buildSweepPlan(sample, sigma, grid, strict, kernelsFor(options.instructionSets)))
        return countSweep(*plan, share, stepIt, options);
    return countPlain(sample, sigma, grid, strict, share, stepIt, options);
}

}  // namespace

Result search(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
              bool strict, const std::function<void()>& stepIt, const Options& options)
{
    const Counted counted = count(sample, sigma, grid, strict, {}, stepIt, options, "FastSearch.search");
    if (grid.empty())
        return {};
    Result result;
    static_cast<GridScores&>(result) = scoresOf(counted.counts, strict);
    result.recomputed = counted.recomputed;
    result.plainLoops = counted.plainLoops;
    result.kernels = counted.kernels;
    return result;
}

GridCounts countShare(const DenseSample& sample, const std::vector<double>& sigma, const std::vector<double>& grid,
                      bool strict, RowShare share, const std::function<void()>& stepIt, const Options& options)
{
    return count(sample, sigma, grid, strict, share, stepIt, options, "FastSearch.countShare").counts;
}

std::vector<int> verdictsAt(const DenseSample& sample, const std::vector<double>& widths, const Options& options)
{
    DenseReference::validate(sample, &widths, "FastSearch.verdictsAt");
    const double product = DenseReference::widthProduct(widths.data(), sample.columns);
    std::vector<int> verdicts(sample.rows, -2);
    FastRows::run(sample.rows, sample.rows, threadsFor(options, sample.rows), 0, {}, [&](unsigned, int i) {
        if (sample.cls[i] != -1)
            verdicts[i] = DenseReference::classify(sample, i, widths.data(), product);
        return 1;
    });
    return verdicts;
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
    double best = DenseReference::UNDECIDED;
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
