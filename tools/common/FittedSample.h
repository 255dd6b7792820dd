#pragma once
// A task's sample fitted as dodoz fits it, for the tools that explain or reuse a run
// without writing anything: TModelClass splits and fills the sample and TOptimizerC
// searches the width factor, so the chosen c, its criterion and the widths are the
// run's to the bit. When the strict search has no result, the same classes are fitted
// once more without the strict rule, only to get the filled sample and its class split,
// on which the tools then say why.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "models/TModelClass.h"
#include "models/fast/SampleArrays.h"

// The leave-one-out counts at every grid point, from one search of the engine that
// counts undecided rows as wrong.
struct SearchCurve {
    std::vector<double> grid;
    std::vector<std::int64_t> wrong;      // wrong rows, undecided ones included
    std::vector<std::int64_t> undecided;  // rows no class decides
    std::vector<double> criterion;        // the strict criterion the run minimises (1e101: no value)
    std::int64_t scored = 0;

    double errorRate(std::size_t g) const { return static_cast<double>(wrong[g]) / static_cast<double>(scored); }
    // The first grid point from which on no row is undecided, or npos.
    std::size_t coveringIndex() const;
    // The first and the last grid point with the lowest error rate, and how many have it.
    std::size_t lowestIndex() const;
    std::size_t lowestLast() const;
    std::size_t lowestCount() const;
};

class FittedSample {
public:
    // sample: as RepApi loads it for the run. Raises the model's SystemException when the
    // sample cannot be fitted at all (a zero deviation, no class).
    explicit FittedSample(DatasetPtr sample);

    // Whether the strict search found c, as the run needs.
    bool found() const { return cMinIndex.has_value(); }
    std::size_t chosenIndex() const { return *cMinIndex; }
    double cMin() const { return grid[*cMinIndex]; }
    const std::vector<double>& widths() const { return chosenWidths; }
    const std::vector<double>& deviations() const { return sigma; }
    const std::vector<double>& gridPoints() const { return grid; }
    // The model's parameters: class codes, class masks, the widths of the search.
    const Vector& parameters() const { return *params; }
    TModelClass& model() { return *classifier; }
    const Dataset& sample() const { return *classifier->getDataset(); }
    DenseSample dense() const { return arrays->view(); }

    int classCount() const { return codes().size(); }
    int classCode(int position) const { return codes().getInt(position); }
    std::vector<std::string> inputNames() const;  // UTF-8

    // The one search of the curve (the engine with the undecided rows counted as wrong).
    SearchCurve curve() const;
    // The class position the leave-one-out classifier gives every row at these widths
    // (-1 undecided, -2 a row left out).
    std::vector<int> verdictsAt(const std::vector<double>& widths) const;
    std::vector<double> widthsAt(double c) const;

    // The object's class (-999999 when no class has a density at it), every class's
    // density and share, through the model as the run classifies its object.
    struct Verdict {
        int classCode = 0;
        std::vector<std::optional<double>> densities;  // none where the class has no value
        std::vector<double> shares;                    // as the run writes them
    };
    Verdict classify(const Vector& object);

private:
    const Vector& codes() const { return static_cast<const Vector&>(*params->elementAt(0)); }

    std::unique_ptr<TModelClass> classifier;
    VectorPtr params;
    std::unique_ptr<SampleArrays> arrays;
    std::vector<double> sigma;
    std::vector<double> grid;
    std::optional<std::size_t> cMinIndex;
    std::vector<double> chosenWidths;
};

// The sample's input column names in input-column order (UTF-8).
std::vector<std::string> inputNamesOf(const Dataset& sample);

