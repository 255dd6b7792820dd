#pragma once
// An Explanation as dodoz-explain prints it: in words, as one JSON object, or the curve
// as CSV. Texts are UTF-8.

#include <string>

#include "tools/explain/Explanation.h"

std::string inWords(const Explanation& e);
std::string asJson(const Explanation& e);
// One line per grid point: c, wrong rows (undecided ones included), undecided rows and
// the strict criterion the search minimises (1e101: no value), after a header line.
std::string curveCsv(const SearchCurve& curve);

// A number in words: at most `digits` places, no trailing zeros.
std::string shown(double value, int digits = 4);
// A grid point's c with its two places ("1.06").
std::string gridC(double c);
