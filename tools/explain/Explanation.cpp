#include "tools/explain/Explanation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "models/fast/DensityCore.h"
#include "models/fast/FastSearch.h"
#include "runtime/Runtime.h"
#include "tools/common/ClassLabels.h"

namespace {

const double* rowOf(const DenseSample& s, int i)
{
    return s.x + static_cast<std::size_t>(i) * static_cast<std::size_t>(s.columns);
}

// Whether the training row's kernel leaves the object a share in column j, by the
// model's own kernel.
bool reaches(const double* row, const std::vector<double>& object, const std::vector<double>& widths, std::size_t j)
{
    return DensityCore::kernel(object[j], row[j], widths[j]) > 0.0;
}

void addClasses(Explanation& e, const StoredTask& task, const FittedSample& fitted)
{
    const DenseSample s = fitted.dense();
    const std::vector<std::string> labels = classLabelsOf(task.name, static_cast<std::size_t>(fitted.classCount()));
    for (int k = 0; k < fitted.classCount(); ++k) {
        ClassFacts c;
        c.code = fitted.classCode(k);
        if (static_cast<std::size_t>(k) < labels.size())
            c.label = Cp1251ToUtf8(labels[static_cast<std::size_t>(k)]);
        c.assigned.assign(static_cast<std::size_t>(fitted.classCount()) + 1, 0);
        e.classes.push_back(std::move(c));
    }
    for (int i = 0; i < s.rows; ++i) {
        if (s.cls[i] >= 0)
            ++e.classes[static_cast<std::size_t>(s.cls[i])].rows;
    }
}

void addConfusion(Explanation& e, const FittedSample& fitted)
{
    const DenseSample s = fitted.dense();
    const std::vector<int> verdicts = fitted.verdictsAt(e.widths);
    for (int i = 0; i < s.rows; ++i) {
        if (s.cls[i] < 0)
            continue;
        const int to = verdicts[static_cast<std::size_t>(i)];
        auto& assigned = e.classes[static_cast<std::size_t>(s.cls[i])].assigned;
        ++assigned[to >= 0 ? static_cast<std::size_t>(to) : assigned.size() - 1];
    }
}

std::vector<std::string> outsideColumns(const Explanation& e, const FittedSample& fitted, int position)
{
    const DenseSample s = fitted.dense();
    std::vector<std::string> columns;
    for (std::size_t j = 0; j < e.inputs.size(); ++j) {
        bool any = false;
        for (int i = 0; i < s.rows && !any; ++i)
            any = s.cls[i] == position && reaches(rowOf(s, i), e.object, e.widths, j);
        if (!any)
            columns.push_back(e.inputs[j]);
    }
    if (!columns.empty())
        return columns;
    int nearest = -1;
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < s.rows; ++i) {
        const double d = s.cls[i] == position ? farthestColumn(rowOf(s, i), e.object.data(), e.widths) : best;
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    for (std::size_t j = 0; nearest >= 0 && j < e.inputs.size(); ++j) {
        if (!reaches(rowOf(s, nearest), e.object, e.widths, j))
            columns.push_back(e.inputs[j]);
    }
    return columns;
}

void addObject(Explanation& e, const StoredTask& task, FittedSample& fitted)
{
    const FittedSample::Verdict verdict = fitted.classify(*task.object);
    e.chosenClass = verdict.classCode;
    const DenseSample s = fitted.dense();
    std::vector<Neighbour> rows;
    for (int i = 0; i < s.rows; ++i) {
        if (s.cls[i] < 0)
            continue;
        bool inside = true;
        for (std::size_t j = 0; j < e.inputs.size() && inside; ++j)
            inside = reaches(rowOf(s, i), e.object, e.widths, j);
        e.classes[static_cast<std::size_t>(s.cls[i])].inWindow += inside ? 1 : 0;
        rows.push_back({i + 1, fitted.classCode(s.cls[i]), farthestColumn(rowOf(s, i), e.object.data(), e.widths)});
    }
    const std::size_t shown = std::min<std::size_t>(kNearestShown, rows.size());
    std::partial_sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shown), rows.end(),
                      [](const Neighbour& a, const Neighbour& b) {
                          return a.distance != b.distance ? a.distance < b.distance : a.row < b.row;
                      });
    e.nearest.assign(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shown));
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
        ClassFacts& c = e.classes[k];
        c.density = verdict.densities[k];
        c.share = verdict.shares[k];
        if (!c.density)
            c.outsideColumns = outsideColumns(e, fitted, static_cast<int>(k));
    }
}

}  // namespace

const ClassFacts* Explanation::classOf(int code) const
{
    for (const auto& c : classes) {
        if (c.code == code)
            return &c;
    }
    return nullptr;
}

std::string Explanation::classInWords(int code) const
{
    const ClassFacts* c = classOf(code);
    return "class " + std::to_string(code) + (c && !c->label.empty() ? " (" + c->label + ")" : "");
}

Explanation explain(const StoredTask& task, FittedSample& fitted)
{
    Explanation e;
    e.key = task.key;
    e.inputs = fitted.inputNames();
    e.deviations = fitted.deviations();
    for (int j = 0; j < task.object->size(); ++j)
        e.object.push_back(task.object->getDouble(j));
    e.curve = fitted.curve();
    e.covering = e.curve.coveringIndex();
    e.lowest = e.curve.lowestIndex();
    e.lowestLast = e.curve.lowestLast();
    e.lowestPoints = e.curve.lowestCount();
    addClasses(e, task, fitted);
    e.found = fitted.found();
    if (e.found) {
        e.chosen = fitted.chosenIndex();
        e.cMin = fitted.cMin();
        e.iMin = e.curve.criterion[e.chosen];
        e.widths = fitted.widths();
        addConfusion(e, fitted);
        addObject(e, task, fitted);
    } else {
        e.unreached = UnreachedRows::of(fitted, kUnreachedShown);
    }
    return e;
}
