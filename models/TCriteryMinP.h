#pragma once
// The leave-one-out error rate of a classifier: every included row is classified
// with itself left out of the sample; the result is the fraction classified wrongly.

#include <memory>
#include <vector>

#include "models/TModel.h"
#include "models/fast/InstructionSet.h"

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

    // The class-density classifier whose criterion the fast engine may give, through the
    // widest kernels up to allowed; null (the default) keeps every score on getCriterion.
    void setEngineModel(const TModel* classifier, InstructionSet allowed)
    {
        engineModel = classifier;
        engineSets = allowed;
    }

    // The model's filled sample in dense arrays, when the fast engine gives this
    // criterion for params (the engine's classifier scored leave-one-out on its own
    // sample; params holding its class codes and masks first); null otherwise.
    std::unique_ptr<SampleArrays> denseArrays(const Vector& params) const;

    static constexpr double NO_RESULT = NO_CRITERION;

private:
    bool collect = false;
    DatasetPtr rightDataset;
    DatasetPtr wrongDataset;
    bool realOutput;
    const TModel* engineModel = nullptr;
    InstructionSet engineSets = InstructionSet::Avx512;

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
