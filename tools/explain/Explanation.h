#pragma once
// Why a run of a task chose its c and its class, or why it found no c: the facts
// dodoz-explain prints, gathered from one fitted sample (FittedSample) and one search of
// its curve. Distances are in widths: a training row lies inside the object's window
// when, in every input column, it is less than one width away.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/common/FittedSample.h"
#include "tools/common/StoredTask.h"
#include "tools/common/UnreachedRows.h"

struct ClassFacts {
    int code = 0;
    std::string label;  // UTF-8, empty when the task names none
    int rows = 0;       // training rows of the class
    // Leave-one-out at c_min: how many of its rows went to each class position, and
    // to none (the last entry).
    std::vector<std::int64_t> assigned;
    std::optional<double> density;  // at the object; none: no row of the class reaches it
    double share = 0.0;             // as dodoz writes it
    int inWindow = 0;               // the class's rows inside the object's window
    // For a class without a density at the object: the input columns on which none of
    // its rows comes within a width of the object, or, where every column has some, the
    // columns that keep its nearest row out.
    std::vector<std::string> outsideColumns;
};

struct Neighbour {
    int row = 0;  // 1-based, in the sample's order
    int classCode = 0;
    double distance = 0.0;  // in widths: the largest of the columns' distances
};

struct Explanation {
    int key = 0;
    std::vector<std::string> inputs;  // UTF-8
    std::vector<double> deviations;
    std::vector<double> object;

    bool found = false;
    std::size_t chosen = 0;  // c_min's grid point
    double cMin = 0.0;
    double iMin = 0.0;
    std::vector<double> widths;

    SearchCurve curve;
    std::size_t covering = 0;  // FastSearch::npos when no grid point covers every row
    std::size_t lowest = 0;
    std::size_t lowestLast = 0;  // the last grid point with the lowest rate
    std::size_t lowestPoints = 0;  // how many grid points have it

    std::vector<ClassFacts> classes;
    int chosenClass = 0;
    std::vector<Neighbour> nearest;

    UnreachedRows unreached;  // when the search has no result

    const ClassFacts* classOf(int code) const;
    std::string classInWords(int code) const;  // "class 1 (versicolor)"
};

inline constexpr int kNearestShown = 5;
inline constexpr int kUnreachedShown = 10;

Explanation explain(const StoredTask& task, FittedSample& fitted);
