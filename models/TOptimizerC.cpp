#include "models/TOptimizerC.h"

#include <cmath>

#include "app/ProgBar.h"
#include "app/Utils.h"
#include "models/FastSearch.h"
#include "models/SampleArrays.h"
#include "models/TCriteryMinP.h"
#include "objects/Values.h"

namespace {

const char* const kPlace = "TOptimizerC.optimize(Vector*, Log*, TBar*)";

VectorPtr widths(const Vector& sigma, double c)
{
    auto h = std::make_shared<Vector>(10, 2);
    for (int j = 0; j < sigma.size(); ++j)
        h->add(std::make_shared<CDouble>(sigma.getDouble(j) * c));
    return h;
}

}  // namespace

std::vector<double> TOptimizerC::grid() const
{
    std::vector<double> points;
    for (double c = cFrom; c <= cTo; c = c + cStep)
        points.push_back(c);
    return points;
}

// Every grid point in turn, each scored by the criterion.
void TOptimizerC::searchPlain(const Vector* params, const Vector& sigma, TBar* bar, double& best, double& cBest)
{
    VectorPtr scoredParams;
    if (params) {
        scoredParams = params->cloneVector();
        scoredParams->add(nullptr);
    }
    for (double c = cFrom; c <= cTo; c = c + cStep) {
        VectorPtr h = widths(sigma, c);
        double value;
        if (!scoredParams) {
            value = critery->getCriterion(*h);
        } else {
            scoredParams->set(scoredParams->size() - 1, h->clone());
            value = critery->getCriterion(*scoredParams);
        }
        if (value < best) {
            best = value;
            cBest = c;
        }
        if (bar)
            bar->StepIt();
    }
}

// The same criterion values as searchPlain, to the bit, from the dense engine; the
// chosen point follows the same rule (the first strictly smaller value).
void TOptimizerC::searchFast(const SampleArrays& arrays, const Vector& sigma, TBar* bar, double& best, double& cBest)
{
    std::vector<double> deviations(static_cast<size_t>(sigma.size()));
    for (int j = 0; j < sigma.size(); ++j)
        deviations[static_cast<size_t>(j)] = sigma.getDouble(j);
    const std::vector<double> points = grid();
    const FastSearch::Result scores = FastSearch::search(arrays.view(), deviations, points, critery->isStrict(), [bar] {
        if (bar)
            bar->StepIt();
    });
    for (size_t g = 0; g < points.size(); ++g) {
        if (scores.criterion[g] < best) {
            best = scores.criterion[g];
            cBest = points[g];
        }
    }
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
    auto* minP = dynamic_cast<TCriteryMinP*>(critery);
    std::unique_ptr<SampleArrays> arrays = minP && params ? minP->denseArrays(*params) : nullptr;
    if (arrays)
        searchFast(*arrays, *sigma, bar, best, cBest);
    else
        searchPlain(params, *sigma, bar, best, cBest);
    VectorPtr result = best < TCriteryMinP::NO_RESULT ? widths(*sigma, cBest) : nullptr;
    if (!result)
        throw SystemException(kPlace, "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов");

    if (log) {
        log->writeLine("c_min = " + FloatToStr(CDouble::roundTo(cBest, 2)));
        log->writeLine("C_min = " + result->toLine());
        log->writeLine("I_min = " + FloatToStr(CDouble::roundTo(best, 2)));
    }
    return result;
}
