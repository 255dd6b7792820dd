#pragma once
// The arithmetic of one kernel density estimate, shared by the object-model path and
// by any dense-array version: keeping it in one place keeps their results identical
// to the bit. Each intermediate is a double rounded where it is stored; the build
// keeps floating-point contraction off.

#include "models/fast/Sentinels.h"

namespace DensityCore {

// The Epanechnikov kernel of one input column; 0.0 outside the window (|u| >= 1
// gives 0.0 through the formula at the edges).
inline double kernel(double x, double v, double h)
{
    const double u = (x - v) / h;
    if (u < -1.0 || u > 1.0)
        return 0.0;
    return 0.75 * (1.0 - u * u);
}

// The product over the input columns for one kernel centre; stops at the first
// column whose kernel is 0.0. value(j) yields the centre's cell, x(j) the object's
// value and h(j) the width.
template <class X, class V, class H>
inline double rowProduct(int columns, X x, V value, H h)
{
    double g = 1.0;
    for (int j = 0; j < columns; ++j) {
        const double k = kernel(x(j), value(j), h(j));
        if (k == 0.0)
            return 0.0;
        g = g * k;
    }
    return g;
}

// The estimate from the summed products over n remaining centres and the product P
// of the widths; -999999.0 when nothing lies inside the window.
inline double density(double sum, int n, double widthProduct)
{
    double d = n * widthProduct;
    if (d == 0.0)
        d = 0.001;
    const double f = sum / d;
    return f == 0.0 ? NOT_DEFINED_REAL : f;
}

}  // namespace DensityCore
