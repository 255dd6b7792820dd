#pragma once
// Whether a planned task can work at all, checked before anything is written: dodoz
// refuses an input column of zero deviation, and finds no c when some row lies outside
// the windows of every class even at the grid's widest c. The check fits the planned
// sample with the classes dodoz fits it with.

#include <string>
#include <vector>

#include "tools/common/UnreachedRows.h"
#include "tools/register/Registration.h"

// The sample dodoz loads for a task of the plan: the inputs read as real numbers, the
// class as an integer, a row without a class left out of every class.
DatasetPtr planSample(const RegistrationPlan& plan);

struct PreCheck {
    std::vector<std::string> zeroDeviation;  // UTF-8 names of the input columns
    std::size_t rows = 0;                    // rows with a class
    std::vector<std::string> classLabels;    // UTF-8, by code, as the plan coded them
    UnreachedRows unreached;

    static PreCheck of(const RegistrationPlan& plan);

    bool passes() const { return zeroDeviation.empty() && unreached.count == 0; }
    // What is wrong and what to do, UTF-8, several lines; empty when it passes.
    std::string findings() const;
};

inline constexpr std::size_t kUnreachedNamed = 10;
