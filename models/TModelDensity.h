#pragma once
// Product-Epanechnikov kernel density of its dataset's rows at one point.

#include "models/TModel.h"

class TModelDensity : public TModel {
public:
    explicit TModelDensity(DatasetPtr dataset) : TModel(std::move(dataset)) {}

    // params are the widths, one per input column; -999999.0 when no row lies inside
    // the window.
    double getOut(const Vector& x, const Vector& bandwidths, int skip, Log* log) override;
    int getOutInt(const Vector& x, const Vector& params, int skip, Log* log) override;
    Fit optimize(Log* log, TBar* bar) override;
};
