#include "models/TOptimizerC.h"

#include <cmath>

#include "core/ProgBar.h"
#include "core/Utils.h"
#include "models/TCriteryMinP.h"
#include "objects/Values.h"

namespace {

const char* const kPlace = "TOptimizerC.optimize(Vector*, Log*, TBar*)";

}  // namespace

std::vector<double> TOptimizerC::grid() const
{
    std::vector<double> points;
    for (double c = cFrom; c <= cTo; c = c + cStep)
        points.push_back(c);
    return points;
}

VectorPtr TOptimizerC::optimize(const Vector* params, Log* log, TBar* bar)
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
    // Only a deviation of exactly 0 is refused: it would make every width 0 and divide by
    // it. A constant column whose rounded mean leaves it a tiny deviation keeps it; its
    // kernel is then 0.75 for every row equal to the object's value and 0 for any other.
    for (int j = 0; j < sigma->size(); ++j) {
        const int column = scored.getInColumns()->getInt(j);
        if (sigma->getDouble(j) == 0.0)
            throw SystemException(kPlace, "Нулевое стандартное отклонение входной колонки: " +
                                              scored.getDataModel()->getColumnName(column).getValue());
        // Values near the largest doubles overflow the variance; no width can be made of it.
        if (!std::isfinite(sigma->getDouble(j)))
            throw SystemException(kPlace, "Стандартное отклонение входной колонки не является конечным числом: " +
                                              scored.getDataModel()->getColumnName(column).getValue());
    }

    double best = TCriteryMinP::NO_RESULT;
    double cBest = 0.0;
    const std::vector<double> points = grid();
    const std::vector<double> scores = critery->scoreGrid(params, *sigma, points, [bar] {
        if (bar)
            bar->StepIt();
    });
    // The first strictly smaller value wins, so the smaller c on a tie.
    for (size_t g = 0; g < points.size(); ++g) {
        if (scores[g] < best) {
            best = scores[g];
            cBest = points[g];
        }
    }
    VectorPtr result = best < TCriteryMinP::NO_RESULT ? widthsAt(*sigma, cBest) : nullptr;
    if (!result)
        throw SystemException(kPlace, "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов");

    if (log) {
        log->writeLine("c_min = " + FloatToStr(CDouble::roundTo(cBest, 2)));
        log->writeLine("C_min = " + result->toLine());
        log->writeLine("I_min = " + FloatToStr(CDouble::roundTo(best, 2)));
    }
    return result;
}
