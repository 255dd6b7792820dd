#include "models/fast/FastSearch.h"
#include "tools/common/Json.h"
#include "tools/explain/ExplanationText.h"

namespace {

template <class T, class F>
std::string array(const std::vector<T>& items, F item)
{
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ", " : "") + item(items[i]);
    return out + "]";
}

std::string number(double v) { return jsonNumber(v); }
std::string count(std::int64_t v) { return std::to_string(v); }
std::string text(const std::string& v) { return jsonString(v); }

std::string gridPoint(const SearchCurve& curve, std::size_t g)
{
    return g == FastSearch::npos ? "null" : jsonNumber(curve.grid[g]);
}

std::string classJson(const Explanation& e, const ClassFacts& c)
{
    std::string out = "{\"class\": " + std::to_string(c.code) + ", \"label\": " +
                      (c.label.empty() ? std::string("null") : jsonString(c.label)) +
                      ", \"rows\": " + std::to_string(c.rows);
    if (e.found) {
        out += ", \"assigned\": " + array(std::vector<std::int64_t>(c.assigned.begin(), c.assigned.end() - 1), count) +
               ", \"undecided\": " + std::to_string(c.assigned.back());
        out += ", \"density\": " + (c.density ? jsonNumber(*c.density) : std::string("null")) +
               ", \"share\": " + jsonNumber(c.share) + ", \"in_window\": " + std::to_string(c.inWindow) +
               ", \"outside_columns\": " + array(c.outsideColumns, text);
    }
    return out + "}";
}

std::string curveJson(const Explanation& e)
{
    const SearchCurve& curve = e.curve;
    return "{\"scored\": " + std::to_string(curve.scored) + ", \"c\": " + array(curve.grid, number) +
           ", \"wrong\": " + array(curve.wrong, count) + ", \"undecided\": " + array(curve.undecided, count) +
           ", \"covering_limit\": " + gridPoint(curve, e.covering) +
           ", \"lowest_error_rate\": " + jsonNumber(curve.errorRate(e.lowest)) +
           ", \"lowest_from\": " + gridPoint(curve, e.lowest) + ", \"lowest_to\": " + gridPoint(curve, e.lowestLast) +
           ", \"lowest_points\": " + std::to_string(e.lowestPoints) + "}";
}

std::string foundJson(const Explanation& e)
{
    std::string out = ", \"c_min\": " + jsonNumber(e.cMin) + ", \"I_min\": " + jsonNumber(e.iMin) +
                      ", \"widths\": " + array(e.widths, number) +
                      ", \"c_min_is_covering_limit\": " +
                      (e.covering != FastSearch::npos && e.curve.grid[e.covering] == e.cMin ? "true" : "false");
    out += ", \"class\": " + std::to_string(e.chosenClass) + ", \"label\": ";
    const ClassFacts* chosen = e.classOf(e.chosenClass);
    out += chosen && !chosen->label.empty() ? jsonString(chosen->label) : std::string("null");
    out += ", \"nearest\": " + array(e.nearest, [&](const Neighbour& n) {
               return "{\"row\": " + std::to_string(n.row) + ", \"class\": " + std::to_string(n.classCode) +
                      ", \"distance\": " + jsonNumber(n.distance) + "}";
           });
    return out;
}

std::string unreachedJson(const Explanation& e)
{
    return ", \"widest_c\": " + jsonNumber(e.unreached.widestC) +
           ", \"unreached_rows\": " + std::to_string(e.unreached.count) +
           ", \"unreached\": " + array(e.unreached.first, [](const UnreachedRow& r) {
               return "{\"row\": " + std::to_string(r.row) + ", \"class\": " + std::to_string(r.classCode) +
                      ", \"needed_c\": " + jsonNumber(r.neededC) + ", \"column\": " + jsonString(r.farColumn) + "}";
           });
}

}  // namespace

std::string asJson(const Explanation& e)
{
    std::string out = "{\"task\": " + std::to_string(e.key) + ", \"inputs\": " + array(e.inputs, text) +
                      ", \"deviations\": " + array(e.deviations, number) + ", \"object\": " + array(e.object, number) +
                      ", \"found\": " + (e.found ? "true" : "false");
    out += e.found ? foundJson(e) : unreachedJson(e);
    out += ", \"classes\": " + array(e.classes, [&](const ClassFacts& c) { return classJson(e, c); });
    return out + ", \"curve\": " + curveJson(e) + "}\n";
}

std::string curveCsv(const SearchCurve& curve)
{
    std::string out = "c,wrong,undecided,criterion\n";
    for (std::size_t g = 0; g < curve.grid.size(); ++g)
        out += gridC(curve.grid[g]) + "," + std::to_string(curve.wrong[g]) + "," + std::to_string(curve.undecided[g]) +
               "," + jsonNumber(curve.criterion[g]) + "\n";
    return out;
}
