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

    // The error fraction, or NO_CRITERION when strict and some row cannot be decided;
    // always through the object-model classes, the yardstick of every faster way.
    double getCriterion(const Vector& params) override;
    // The whole grid from the grid search when it applies (see denseArrays), to the bit
    // the values getCriterion gives at each point; otherwise point by point.
    std::vector<double> scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                  const std::function<void()>& step, const char* place) override;

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
    // sample first); null otherwise. A cell that is no number is an error naming place.
    std::unique_ptr<SampleArrays> denseArrays(const Vector& params, const char* place) const;

private:
    enum class Verdict { Right, Wrong, Undecided };

    bool collect = false;
    DatasetPtr rightDataset;
    DatasetPtr wrongDataset;
    bool realOutput;
    std::shared_ptr<GridSearch> gridSearch;

    // Row i of ds classified with itself left out of the model's sample (when ds is it).
    Verdict verdictOf(const Dataset& ds, int i, const Vector& params);
    // Adds row i of ds to the rows classified rightly or wrongly.
    void collectRow(const Dataset& ds, int i, bool wrong);
};
