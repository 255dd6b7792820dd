#pragma once
// The leave-one-out error rate of a classifier: every included row is classified
// with itself left out of the sample; the result is the fraction classified wrongly.

#include <memory>

#include "models/TModel.h"

class SampleArrays;

class TCriteryMinP : public TCritery {
public:
    // realOutput: outputs are real numbers compared by sign instead of class codes.
    TCriteryMinP(bool realOutput, bool strict, DatasetPtr testDataset);

    // The error fraction, or 1e101 when strict and some row cannot be decided.
    double getCriterion(const Vector& params) override;

    bool isRealOutput() const { return realOutput; }
    void setCollect(bool value) { collect = value; }
    const DatasetPtr& getRightDataset() const { return rightDataset; }
    const DatasetPtr& getWrongDataset() const { return wrongDataset; }

    // The model's filled sample in dense arrays, when the fast engine gives this
    // criterion for params (a class-density classifier scored leave-one-out on its own
    // sample; params holding its class codes and masks first); null otherwise.
    std::unique_ptr<SampleArrays> denseArrays(const Vector& params) const;

    static constexpr double NO_RESULT = 1e101;

private:
    bool collect = false;
    DatasetPtr rightDataset;
    DatasetPtr wrongDataset;
    bool realOutput;
};
