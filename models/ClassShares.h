#pragma once
// The shares of a classification as the repository keeps them: each class's density as
// a percentage of their sum, rounded to two places, a class without a value (no row of
// it reaches the object) counting 0.

#include <vector>

#include "objects/Vector.h"

// densities: TModelClass::getClassDensities after classifying an object.
std::vector<double> classShares(const Vector& densities);
