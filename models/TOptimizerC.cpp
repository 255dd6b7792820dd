#include "models/TOptimizerC.h"

#include "app/ProgBar.h"
#include "app/Utils.h"
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
    // A constant input column would make every width 0 and divide by it.
    for (int j = 0; j < sigma->size(); ++j)
        if (sigma->getDouble(j) == 0.0)
            throw SystemException(kPlace, "Нулевое стандартное отклонение входной колонки: " +
                                              scored.getDataModel()->getColumnName(scored.getInColumns()->getInt(j)).getValue());

    double best = TCriteryMinP::NO_RESULT;
    double cBest = 0.0;
    VectorPtr result;
    VectorPtr scoredParams;
    if (params) {
        scoredParams = params->cloneVector();
        scoredParams->add(nullptr);
    }
    for (double c = cFrom; c <= cTo; c = c + cStep) {
        VectorPtr h = widths(*sigma, c);
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
            result = h->cloneVector();
        }
        if (bar)
            bar->StepIt();
    }
    if (!result)
        throw SystemException(kPlace, "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов");

    if (log) {
        log->writeLine("c_min = " + FloatToStr(CDouble::roundTo(cBest, 2)));
        log->writeLine("C_min = " + result->toLine());
        log->writeLine("I_min = " + FloatToStr(CDouble::roundTo(best, 2)));
    }
    return result;
}
