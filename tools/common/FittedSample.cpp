#include "tools/common/FittedSample.h"

#include <algorithm>
#include <bit>

#include "core/Utils.h"
#include "models/ClassShares.h"
#include "models/fast/FastSearch.h"
#include "objects/Values.h"

namespace {

std::vector<double> numbers(const Vector& v)
{
    std::vector<double> out(static_cast<std::size_t>(v.size()));
    for (int j = 0; j < v.size(); ++j)
        out[static_cast<std::size_t>(j)] = v.getDouble(j);
    return out;
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t j = 0; j < a.size(); ++j) {
        if (std::bit_cast<std::uint64_t>(a[j]) != std::bit_cast<std::uint64_t>(b[j]))
            return false;
    }
    return true;
}

}  // namespace

std::size_t SearchCurve::coveringIndex() const
{
    std::size_t from = FastSearch::npos;
    for (std::size_t g = undecided.size(); g-- > 0 && undecided[g] == 0;)
        from = g;
    return from;
}

std::size_t SearchCurve::lowestIndex() const
{
    std::size_t best = 0;
    for (std::size_t g = 1; g < wrong.size(); ++g) {
        if (wrong[g] < wrong[best])
            best = g;
    }
    return best;
}

std::size_t SearchCurve::lowestLast() const
{
    const std::size_t first = lowestIndex();
    std::size_t last = first;
    for (std::size_t g = first; g < wrong.size(); ++g)
        last = wrong[g] == wrong[first] ? g : last;
    return last;
}

std::size_t SearchCurve::lowestCount() const
{
    const std::size_t first = lowestIndex();
    return static_cast<std::size_t>(std::count(wrong.begin(), wrong.end(), wrong[first]));
}

FittedSample::FittedSample(DatasetPtr sample)
{
    classifier = std::make_unique<TModelClass>(sample);
    try {
        params = classifier->optimize(nullptr, nullptr).params;
    } catch (const SystemException&) {
        // Without the strict rule every grid point has a value, so this fit fails only
        // where the run's failed before its search, and with the same message.
        auto lenient = std::make_unique<TModelClass>(sample->copy());
        lenient->getCriteryMinP().setStrict(false);
        params = lenient->optimize(nullptr, nullptr).params;
        classifier = std::move(lenient);
    }
    sigma = numbers(*classifier->getDataset()->getDeviations());
    grid = classifier->getOptimizer().grid();
    arrays = SampleArrays::of(*classifier->getDataset(), codes(), static_cast<const Vector&>(*params->elementAt(1)),
                              "FittedSample");
    if (!arrays)
        throw Exception("the fitted sample cannot be laid out for the search engine");
    if (classifier->getCritery()->isStrict()) {
        const std::vector<double> chosen = numbers(static_cast<const Vector&>(*params->elementAt(2)));
        for (std::size_t g = 0; g < grid.size() && !cMinIndex; ++g) {
            if (sameBits(widthsAt(grid[g]), chosen))
                cMinIndex = g;
        }
        if (!cMinIndex)
            throw Exception("the widths of the search are those of no grid point");
        chosenWidths = chosen;
    }
}

std::vector<std::string> FittedSample::inputNames() const
{
    return inputNamesOf(sample());
}

std::vector<std::string> inputNamesOf(const Dataset& ds)
{
    std::vector<std::string> names;
    for (int j = 0; j < ds.getInColumns()->size(); ++j)
        names.push_back(Cp1251ToUtf8(ds.getDataModel()->getColumnName(ds.getInColumns()->getInt(j)).getValue()));
    return names;
}

std::vector<double> FittedSample::widthsAt(double c) const
{
    Vector deviations;
    for (double s : sigma)
        deviations.add(std::make_shared<CDouble>(s));
    return numbers(*::widthsAt(deviations, c));
}

SearchCurve FittedSample::curve() const
{
    // Counted without the strict rule, every grid point gets its wrong and undecided
    // rows; the strict criterion the run minimises follows from the same counts.
    const GridCounts counts = FastSearch::countShare(dense(), sigma, grid, false, RowShare{});
    SearchCurve curve;
    curve.grid = grid;
    curve.wrong = counts.errors;
    curve.undecided = counts.undecided;
    curve.scored = counts.scored;
    curve.criterion = FastSearch::scoresOf(counts, true).criterion;
    return curve;
}

std::vector<int> FittedSample::verdictsAt(const std::vector<double>& widths) const
{
    return FastSearch::verdictsAt(dense(), widths);
}

FittedSample::Verdict FittedSample::classify(const Vector& object)
{
    Verdict verdict;
    verdict.classCode = classifier->getOutInt(object, *params, -1, nullptr);
    const Vector& densities = *classifier->getClassDensities();
    for (int k = 0; k < densities.size(); ++k) {
        const double d = densities.getDouble(k);
        verdict.densities.push_back(d == NOT_DEFINED_REAL ? std::nullopt : std::optional<double>(d));
    }
    verdict.shares = classShares(densities);
    return verdict;
}
