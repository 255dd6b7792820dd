#pragma once
// Grid search of the width factor c: every input column gets the width c * sigma_j,
// and the c with the smallest criterion wins (the smaller c on a tie; FastSearch::bestIndex).

#include <vector>

#include "models/TModel.h"

class TOptimizerC : public TOptimizer {
public:
    TOptimizerC(double cFrom, double cTo, double cStep) : cFrom(cFrom), cTo(cTo), cStep(cStep) {}

    // The best width vector and its criterion. params (may be null) are the model's
    // parameters before the widths; the caller's vector is never changed.
    Fit optimize(const Vector* params, Log* log, TBar* bar) override;

    // The grid as the search visits it: repeated addition from cFrom while c <= cTo.
    std::vector<double> grid() const;

private:
    double cFrom;
    double cTo;
    double cStep;
};
