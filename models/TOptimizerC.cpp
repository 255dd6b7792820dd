#include "models/TOptimizerC.h"

#include <cmath>

#include "core/ProgBar.h"
#include "core/Utils.h"
#include "models/fast/FastSearch.h"
#include "objects/Values.h"

namespace {

const char* const kPlace = "TOptimizerC.optimize(Vector*, Log*, TBar*)";

// Only a deviation of exactly 0 is refused: it would make every width 0 and divide by
// it. A constant column whose rounded mean leaves it a tiny deviation keeps it; its
// kernel is then 0.75 for every row equal to the object's value and 0 for any other.
void checkDeviations(const Dataset& scored, const Vector& sigma)
{
    for (int j = 0; j < sigma.size(); ++j) {
        const int column = scored.getInColumns()->getInt(j);
        if (sigma.getDouble(j) == 0.0)
            throw SystemException(kPlace, "Нулевое стандартное отклонение входной колонки: " +
                                              scored.getDataModel()->getColumnName(column).getValue());
        // Values near the largest doubles overflow the variance; no width can be made of it.
        if (!std::isfinite(sigma.getDouble(j)))
            throw SystemException(kPlace, "Стандартное отклонение входной колонки не является конечным числом: " +
                                              scored.getDataModel()->getColumnName(column).getValue());
    }
}

}  // namespace

std::vector<double> TOptimizerC::grid() const
{
    std::vector<double> points;
    for (double c = cFrom; c <= cTo; c = c + cStep)
        points.push_back(c);
    return points;
}

Fit TOptimizerC::optimize(const Vector* params, Log* log, TBar* bar)
{
    if (log)
        log->writeLine("TOptimizerC.optimize:");
    if (bar) {
        bar->SetMin(static_cast<int>(cFrom * 1000));
        bar->SetMax(static_cast<int>(cTo * 1000));
        bar->SetStep(static_cast<int>(cStep * 1000));
    }
    const Dataset& scored = *critery->getModel()->getDataset();
    VectorPtr sigma = scored.getDeviations();
    checkDeviations(scored, *sigma);

    const std::vector<double> points = grid();
    const std::vector<double> scores = critery->scoreGrid(
        params, *sigma, points,
        [bar] {
            if (bar)
                bar->StepIt();
        },
        kPlace);
    const std::size_t best = FastSearch::bestIndex(scores);
    if (best == FastSearch::npos)
        throw SystemException(kPlace, "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов");
    VectorPtr widths = widthsAt(*sigma, points[best]);

    if (log) {
        log->writeLine("c_min = " + FloatToStr(CDouble::roundTo(points[best], 2)));
        log->writeLine("C_min = " + widths->toLine());
        log->writeLine("I_min = " + FloatToStr(CDouble::roundTo(scores[best], 2)));
    }
    return {widths, scores[best]};
}
