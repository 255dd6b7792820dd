#pragma once
// How models, quality criteria and parameter searches meet. None of them owns the
// objects its pointers refer to.

#include <functional>
#include <vector>

#include "models/fast/Sentinels.h"
#include "objects/Vector.h"
#include "sample/Dataset.h"

class Log;
class TBar;
class TCritery;

// NOT_DEFINED and NOT_DEFINED_REAL: the output of a model that has no value.

// What a search found: the parameters (null when there is nothing to fit) and the
// criterion the search gave them, which is what the criterion gives at those parameters
// to the bit (NO_CRITERION without a search).
struct Fit {
    VectorPtr params;
    double criterion = NO_CRITERION;
};

class TModel {
public:
    explicit TModel(DatasetPtr dataset) : dataset(std::move(dataset)) {}
    virtual ~TModel() = default;

    // x: the object's input values in input-column order; skip: a sample row to leave
    // out, or -1. log may be null.
    virtual double getOut(const Vector& x, const Vector& params, int skip, Log* log) = 0;
    virtual int getOutInt(const Vector& x, const Vector& params, int skip, Log* log) = 0;
    // The fitted parameters with their criterion.
    virtual Fit optimize(Log* log, TBar* bar) = 0;

    const DatasetPtr& getDataset() const { return dataset; }
    void setDataset(DatasetPtr newDataset) { dataset = std::move(newDataset); }
    TCritery* getCritery() const { return critery; }

protected:
    DatasetPtr dataset;
    TCritery* critery = nullptr;
};

// Scores a model for a parameter vector; smaller is better.
class TCritery {
public:
    TCritery(bool strict, DatasetPtr testDataset) : testDataset(std::move(testDataset)), strict(strict) {}
    virtual ~TCritery() = default;

    virtual double getCriterion(const Vector& params) = 0;
    // The criterion at every point c of a width-factor grid, the widths being sigma_j * c
    // and following params (may be null: the widths are the whole parameter vector).
    // step is called once after each point. By default every point goes through
    // getCriterion; a criterion with a faster way to the same values overrides it, and
    // names place (the caller) when that way finds a sample cell that is no number.
    virtual std::vector<double> scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                          const std::function<void()>& step, const char* place);

    TModel* getModel() const { return model; }
    void setModel(TModel* newModel) { model = newModel; }
    const DatasetPtr& getTestDataset() const { return testDataset; }
    bool isStrict() const { return strict; }
    void setStrict(bool value) { strict = value; }

protected:
    TModel* model = nullptr;
    DatasetPtr testDataset;
    bool strict;
};

// The widths sigma_j * c of one grid point.
VectorPtr widthsAt(const Vector& sigma, double c);

// Searches parameter vectors with the help of a criterion.
class TOptimizer {
public:
    virtual ~TOptimizer() = default;

    // params may be null; the result is the best parameter found and its criterion.
    virtual Fit optimize(const Vector* params, Log* log, TBar* bar) = 0;

    TCritery* getCritery() const { return critery; }
    void setCritery(TCritery* newCritery) { critery = newCritery; }

protected:
    TCritery* critery = nullptr;
};
