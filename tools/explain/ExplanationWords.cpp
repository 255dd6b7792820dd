#include <algorithm>
#include <cstdio>

#include "models/fast/FastSearch.h"
#include "tools/explain/ExplanationText.h"

namespace {

std::string percent(std::int64_t part, std::int64_t whole)
{
    return shown(100.0 * static_cast<double>(part) / static_cast<double>(whole), 2) + " %";
}

std::string listed(const std::vector<std::string>& items)
{
    std::string out;
    for (const auto& item : items)
        out += (out.empty() ? "" : ", ") + item;
    return out;
}

std::string padded(std::string text, std::size_t width)
{
    while (text.size() < width)
        text += ' ';
    return text;
}

std::string widthsPart(const Explanation& e)
{
    std::string out = "Input columns (deviation; window width c_min * deviation):\n";
    for (std::size_t j = 0; j < e.inputs.size(); ++j)
        out += "  " + padded(e.inputs[j], 16) + " deviation " + shown(e.deviations[j], 6) + "; width " +
               shown(e.widths[j], 6) + "\n";
    return out;
}

std::string searchPart(const Explanation& e)
{
    const SearchCurve& curve = e.curve;
    std::string out = "The search tries c from " + gridC(curve.grid.front()) + " to " + gridC(curve.grid.back()) +
                      " by 0.01, classifying each of the " + std::to_string(curve.scored) +
                      " rows with itself left out, and keeps the c with the fewest wrong rows; under its strict rule "
                      "a c at which some row lies outside the windows of every class has no value (1e101).\n";
    if (e.found)
        out += "c_min = " + gridC(e.cMin) + ", I_min = " + shown(e.iMin) + " (" + std::to_string(curve.wrong[e.chosen]) +
               " rows wrong, " + percent(curve.wrong[e.chosen], curve.scored) + ").\n";
    if (e.covering == FastSearch::npos) {
        out += "Covering limit: none; even at c = " + gridC(curve.grid.back()) +
               " some row has no window neighbour of any class.\n";
    } else {
        out += "Covering limit: c = " + gridC(curve.grid[e.covering]) +
               ", the smallest c of the grid from which on every row has a window neighbour of some class.\n";
        if (e.found && curve.grid[e.covering] == e.cMin)
            out += "c_min is this covering limit, not a minimum of the error rate: every smaller c leaves some row "
                   "undecided and so has no value under the strict rule.\n";
        else if (e.found)
            out += "c_min lies above the covering limit: it is the lowest error rate among the c that cover every row.\n";
    }
    out += "Lowest error rate with undecided rows counted as errors: " + percent(curve.wrong[e.lowest], curve.scored) +
           " (" + std::to_string(curve.wrong[e.lowest]) + " rows, " + std::to_string(curve.undecided[e.lowest]) +
           " of them undecided) at c = " + gridC(curve.grid[e.lowest]);
    if (e.lowestPoints > 1)
        out += " and at " + std::to_string(e.lowestPoints - 1) + " more grid points up to c = " +
               gridC(curve.grid[e.lowestLast]);
    out += ".\n";
    return out;
}

std::string confusionPart(const Explanation& e)
{
    std::vector<std::string> rowNames;
    std::size_t width = 0;
    for (const auto& c : e.classes) {
        rowNames.push_back(e.classInWords(c.code) + ", " + std::to_string(c.rows) + " rows");
        width = std::max(width, rowNames.back().size() + 2);
    }
    std::string out = "Leave-one-out at c_min (a row per class of the sample; the columns: the class each of its "
                      "rows was given):\n  " + padded("", width);
    for (const auto& c : e.classes)
        out += padded("class " + std::to_string(c.code), 10);
    out += "none\n";
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
        const ClassFacts& c = e.classes[k];
        out += "  " + padded(rowNames[k], width);
        for (std::size_t to = 0; to + 1 < c.assigned.size(); ++to)
            out += padded(std::to_string(c.assigned[to]), 10);
        out += std::to_string(c.assigned.back()) + "\n";
    }
    out += "The decision compares the class densities as they are, without class priors: a class's size gives it "
           "no weight.\n";
    return out;
}

std::string objectPart(const Explanation& e)
{
    std::string out = "The object:";
    for (std::size_t j = 0; j < e.inputs.size(); ++j)
        out += (j ? ", " : " ") + e.inputs[j] + " " + shown(e.object[j], 6);
    out += "\n";
    for (const auto& c : e.classes) {
        out += "  " + e.classInWords(c.code) + ": ";
        out += c.density ? "density " + shown(*c.density, 6) : std::string("no density (no row of it reaches the object)");
        out += ", share " + shown(c.share, 2) + " %, " + std::to_string(c.inWindow) + " of its " +
               std::to_string(c.rows) + " rows inside the object's window";
        if (!c.outsideColumns.empty())
            out += "; outside on " + listed(c.outsideColumns);
        out += "\n";
    }
    out += "Chosen: " + (e.chosenClass == -999999 ? std::string("no class (-999999)") : e.classInWords(e.chosenClass)) +
           ".\nNearest training rows (distance in widths, the largest over the columns; below 1 is inside the "
           "window):\n";
    for (const auto& n : e.nearest)
        out += "  row " + std::to_string(n.row) + ", " + e.classInWords(n.classCode) + ": " + shown(n.distance, 3) + "\n";
    return out;
}

std::string unreachedPart(const Explanation& e)
{
    const UnreachedRows& u = e.unreached;
    std::string out = "The search has no result: at every c of the grid some row lies outside the windows of every "
                      "class, so dodoz stops with \"" + noResultMessage() + "\".\n";
    out += "At the widest c, " + gridC(u.widestC) + ", " + std::to_string(u.count) + " of the " +
           std::to_string(e.curve.scored) + " rows are still outside every window";
    out += u.count > static_cast<std::int64_t>(u.first.size()) ? "; the first " + std::to_string(u.first.size()) + ":\n"
                                                                : ":\n";
    for (const auto& line : u.lines([&](int code) { return e.classInWords(code); }))
        out += "  " + line + "\n";
    return out + "What to do: " + UnreachedRows::advice() + ".\n";
}

}  // namespace

std::string shown(double value, int digits)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

std::string gridC(double c)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", c);
    return buffer;
}

std::string inWords(const Explanation& e)
{
    std::string out = "Task " + std::to_string(e.key) + "\n";
    if (e.found)
        out += widthsPart(e);
    out += searchPart(e);
    if (!e.found)
        return out + unreachedPart(e);
    return out + confusionPart(e) + objectPart(e);
}
