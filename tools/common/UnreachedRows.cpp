#include "tools/common/UnreachedRows.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "runtime/Runtime.h"

namespace {

const double* rowOf(const DenseSample& s, int i)
{
    return s.x + static_cast<std::size_t>(i) * static_cast<std::size_t>(s.columns);
}

// The nearest other row by the largest column distance in deviations: a window of
// width c * deviation holds it once c exceeds that distance.
UnreachedRow needed(const FittedSample& fitted, const std::vector<std::string>& names, int i)
{
    const DenseSample s = fitted.dense();
    UnreachedRow row{i + 1, fitted.classCode(s.cls[i]), std::numeric_limits<double>::infinity(), ""};
    for (int r = 0; r < s.rows; ++r) {
        if (r == i || s.cls[r] < 0)
            continue;
        std::size_t column = 0;
        const double c = farthestColumn(rowOf(s, i), rowOf(s, r), fitted.deviations(), &column);
        if (c < row.neededC) {
            row.neededC = c;
            row.farColumn = names[column];
        }
    }
    return row;
}

}  // namespace

double farthestColumn(const double* row, const double* other, const std::vector<double>& scale, std::size_t* column)
{
    double d = -1.0;
    for (std::size_t j = 0; j < scale.size(); ++j) {
        const double here = std::fabs(row[j] - other[j]) / scale[j];
        if (here > d) {
            d = here;
            if (column)
                *column = j;
        }
    }
    return d;
}

UnreachedRows UnreachedRows::of(const FittedSample& fitted, std::size_t shown)
{
    UnreachedRows out;
    out.widestC = fitted.gridPoints().back();
    const std::vector<int> verdicts = fitted.verdictsAt(fitted.widthsAt(out.widestC));
    const std::vector<std::string> names = fitted.inputNames();
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (verdicts[i] != -1)
            continue;
        if (static_cast<std::size_t>(++out.count) <= shown)
            out.first.push_back(needed(fitted, names, static_cast<int>(i)));
    }
    return out;
}

std::vector<std::string> UnreachedRows::lines(const std::function<std::string(int)>& classInWords) const
{
    std::vector<std::string> out;
    for (const auto& r : first) {
        char c[32];
        std::snprintf(c, sizeof c, "%.2f", r.neededC);
        out.push_back("row " + std::to_string(r.row) + " (" + classInWords(r.classCode) +
                      "): a window reaches it only above c = " + c + ", set by the column " + r.farColumn);
    }
    return out;
}

std::string noResultMessage()
{
    return Cp1251ToUtf8("Не найдено значение c");
}

const char* UnreachedRows::advice()
{
    return "every input column must bring a row within one width of another row, so each column added makes that "
           "harder; register the task with fewer or other input columns (dodoz-register --inputs or --exclude), "
           "leaving out first the columns named here";
}
