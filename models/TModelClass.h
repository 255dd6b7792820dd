#pragma once
// Classifies an object by the highest class-conditional kernel density. The
// parameters it fits and reads hold, in order: the class codes, one row mask per
// class, and the kernel widths.

#include <memory>

#include "models/ClassifierOptions.h"
#include "models/TCriteryMinP.h"
#include "models/TModelDensity.h"
#include "models/TOptimizerC.h"

class TModelClass : public TModel {
public:
    explicit TModelClass(DatasetPtr sample, ClassifierOptions options = {});

    double getOut(const Vector& x, const Vector& params, int skip, Log* log) override;
    // The class code whose density at x is highest (the first class on a tie), or
    // -999999 when x lies outside every class's window. With skip -1 it also keeps
    // every class's density in classDensities.
    int getOutInt(const Vector& x, const Vector& params, int skip, Log* log) override;
    // Splits the sample by class, fills each class's missing values from its own
    // rows and searches the width factor.
    VectorPtr optimize(Log* log, TBar* bar) override;

    const VectorPtr& getClassCodes() const { return classCodes; }
    const VectorPtr& getClassDensities() const { return classDensities; }
    TCriteryMinP& getCriteryMinP() { return *criteryMinP; }
    TOptimizerC& getOptimizer() { return *optimizer; }

    bool fillNullsInSubsamples = true;

private:
    std::unique_ptr<TCriteryMinP> criteryMinP;
    std::unique_ptr<TModelDensity> densityModel;
    std::unique_ptr<TOptimizerC> optimizer;
    VectorPtr classCodes;
    VectorPtr classDensities;
    // The engine of the width search; null on the reference engine.
    std::shared_ptr<GridSearch> gridSearch;
};
