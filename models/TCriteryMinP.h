#pragma once
// The leave-one-out error rate of a classifier: every included row is classified
// with itself left out of the sample; the result is the fraction classified wrongly.

#include <memory>
#include <vector>

#include "models/TModel.h"
#include "models/fast/GridSearch.h"

class SampleArrays;

class TCriteryMinP : public TCritery {
public:
    // realOutput: outputs are real numbers compared by sign instead of class codes.
    TCriteryMinP(bool realOutput, bool strict, DatasetPtr testDataset);
    ~TCriteryMinP() override;

    // The error fraction, or 1e101 when strict and some row cannot be decided.
    double getCriterion(const Vector& params) override;
    // The whole grid from the fast engine when it applies (see denseArrays), to the bit
    // the values of the plain loop. The grid is kept: asked again at exactly the widths
    // of one of its points (the error probability at the chosen widths), on the same
    // arrays, the next getCriterion gives that point's value without another pass over
    // the pairs; the grid is dropped after that question, whatever its answer.
    std::vector<double> scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                  const std::function<void()>& step) override;

    bool isRealOutput() const { return realOutput; }
    void setCollect(bool value) { collect = value; }
    const DatasetPtr& getRightDataset() const { return rightDataset; }
    const DatasetPtr& getWrongDataset() const { return wrongDataset; }

    // The engine that scores the grid of the class-density classifier's parameters (its
    // class codes and masks first), set by that classifier; null (the default) keeps
    // every score on getCriterion.
    void setGridSearch(std::shared_ptr<GridSearch> engine) { gridSearch = std::move(engine); }

    // The model's filled sample in dense arrays, when the grid search gives this
    // criterion for params (params holding the class codes and masks of the model's own
    // sample first); null otherwise.
    std::unique_ptr<SampleArrays> denseArrays(const Vector& params) const;

    static constexpr double NO_RESULT = NO_CRITERION;

private:
    bool collect = false;
    DatasetPtr rightDataset;
    DatasetPtr wrongDataset;
    bool realOutput;
    std::shared_ptr<GridSearch> gridSearch;

    // The last grid the fast engine scored.
    struct Searched {
        std::unique_ptr<SampleArrays> arrays;
        std::vector<double> sigma;
        std::vector<double> grid;
        std::vector<double> criterion;
        bool strict = true;
    };
    Searched searched;

    // The searched criterion at widths h when h are bit for bit the widths of one of its
    // grid points on the same arrays; null otherwise.
    const double* searchedAt(const SampleArrays& arrays, const std::vector<double>& h) const;
};
