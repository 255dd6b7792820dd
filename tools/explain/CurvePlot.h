#pragma once
// The error-rate curve of a search as a picture, drawn with cairo: the rate with
// undecided rows counted as errors against c, the strict criterion where it has a value,
// and c_min and the covering limit marked. A name ending in .svg gives SVG, .png PNG.

#include <string>

#include "tools/explain/Explanation.h"

inline constexpr int kPlotWidth = 900;
inline constexpr int kPlotHeight = 560;

// Whether this build can draw (cairo was found when it was configured).
bool canPlot();
// Raises Exception naming the file when it cannot be written or the name has another ending.
void plotCurve(const Explanation& e, const std::string& path);
