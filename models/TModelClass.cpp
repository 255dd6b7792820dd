#include "models/TModelClass.h"

#include "core/Utils.h"
#include "objects/Values.h"

namespace {

std::shared_ptr<GridSearch> gridSearchOf(const ClassifierOptions& options)
{
    if (options.engine == SearchEngine::Reference)
        return nullptr;
    if (options.gridSearch)
        return options.gridSearch;
    return std::make_shared<LocalGridSearch>(FastSearch::Options{.instructionSets = options.instructionSets});
}

}  // namespace

TModelClass::TModelClass(DatasetPtr sample, ClassifierOptions options)
    : TModel(std::move(sample)),
      criteryMinP(std::make_unique<TCriteryMinP>(false, false, nullptr)),
      densityModel(std::make_unique<TModelDensity>(nullptr)),
      optimizer(std::make_unique<TOptimizerC>(0.01, 3.0, 0.01)),
      gridSearch(gridSearchOf(options))
{
    criteryMinP->setStrict(true);
    critery = criteryMinP.get();
}

double TModelClass::getOut(const Vector&, const Vector&, int, Log*)
{
    throw SystemException("TModelClass.getOut(Vector*, Vector*)", "Метод не поддерживается");
}

int TModelClass::getOutInt(const Vector& x, const Vector& params, int skip, Log* log)
{
    if (params.size() < 3)
        throw SystemException("TModelClass.getOutInt(Vector*, Vector*)",
                              "В параметрах модели нет ширин окон: " + IntToStr(params.size()) + " элемента вместо 3");
    if (log) {
        ++log->indent;
        log->writeLine("TModelClass.getOut:");
    }
    const Vector& codes = static_cast<const Vector&>(*params.elementAt(0));
    const Vector& masks = static_cast<const Vector&>(*params.elementAt(1));
    const Vector& widths = static_cast<const Vector&>(*params.elementAt(2));
    if (skip == -1)
        classDensities = std::make_shared<Vector>(10, 2);

    double best = -1.0;
    int result = NOT_DEFINED;
    for (int k = 0; k < codes.size(); ++k) {
        const int code = codes.getInt(k);
        DatasetPtr sub = dataset->copy();
        sub->setMask(std::static_pointer_cast<Vector>(masks.elementAt(k)));
        densityModel->setDataset(sub);
        const double d = densityModel->getOut(x, widths, skip, log);
        if (skip == -1)
            classDensities->add(std::make_shared<CDouble>(d));
        if (d != NOT_DEFINED_REAL && d > best) {
            best = d;
            result = code;
        }
    }
    if (best == -1.0)
        result = NOT_DEFINED;
    if (log) {
        log->writeLine("classCode = " + IntToStr(result));
        --log->indent;
    }
    return result;
}

VectorPtr TModelClass::optimize(Log* log, TBar* bar)
{
    auto result = std::make_shared<Vector>(10, 2);
    if (log) {
        ++log->indent;
        log->writeLine("TModelClass.optimize:");
    }
    VectorPtr codes = dataset->getClasses();
    for (int k = 0; k < codes->size(); ++k) {
        const ObjectPtr& code = codes->elementAt(k);
        if (!code || code->getType() != TYPE_INTEGER)
            throw SystemException("TModelClass.optimize(Log*, TBar*)",
                                  "Код класса должен быть целым числом: " + Object::toText(code));
        // The criterion would count an object no class claims as rightly put in this
        // class, and the host could not tell this class from "no class" in the result.
        if (codes->getInt(k) == NOT_DEFINED)
            throw SystemException("TModelClass.optimize(Log*, TBar*)",
                                  "Код класса совпадает с признаком неопределенного значения: " + IntToStr(NOT_DEFINED));
    }
    // Without a class there is nothing to tell apart, and the statistics of the search
    // would be those of no row at all.
    if (codes->size() == 0)
        throw SystemException("TModelClass.optimize(Log*, TBar*)", "В выборке нет ни одной строки с заданным классом");
    classCodes = codes;
    if (log) {
        log->writeLine("Кода классов = " + codes->toLine());
        log->writeLine("Формирование подвыборок: ");
    }
    auto masks = std::make_shared<Vector>(10, 2);
    const int rows = dataset->getDataModel()->getRowCount();
    for (int k = 0; k < codes->size(); ++k) {
        const int code = codes->getInt(k);
        auto mask = std::make_shared<Vector>(10, 2);
        ObjectPtr marker = std::make_shared<CInteger>(1);
        for (int j = 0; j < rows; ++j) {
            const bool other = dataset->isExcluded(j) || static_cast<const CInteger&>(*dataset->getOutValue(j)).getValue() != code;
            mask->add(other ? marker : nullptr);
        }
        masks->add(mask);
        DatasetPtr sub = dataset->copy();
        sub->setMask(mask);
        if (fillNullsInSubsamples)
            sub->fillNulls();
        if (log) {
            log->writeLine("\nВыборка для classCode = " + IntToStr(code) + " (после заполнения пропусков): ");
            if (log->detail == 1)
                log->writeLine(sub->toString());
            else
                log->write(sub->toShortString());
        }
    }
    result->add(codes);
    result->add(masks);
    criteryMinP->setModel(this);
    criteryMinP->setGridSearch(gridSearch);
    optimizer->setCritery(criteryMinP.get());
    result->add(optimizer->optimize(result.get(), log, bar));
    if (log)
        --log->indent;
    return result;
}
