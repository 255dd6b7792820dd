#include "models/TCriteryMinP.h"

#include "core/Utils.h"
#include "models/fast/SampleArrays.h"
#include "objects/Values.h"

namespace {

const char* const kPlace = "TCriteryMinP.getCriterion(Vector*)";

DatasetPtr collector(const DataModel& source)
{
    auto model = std::make_shared<DataModel>();
    model->setColumnNames(source.getColumnNames());
    auto dataset = std::make_shared<Dataset>(model);
    dataset->setOutValues(std::make_shared<Vector>(10, 2));
    return dataset;
}

int classOf(const Dataset& ds, int row)
{
    const ObjectPtr& value = ds.getOutValue(row);
    if (!value || value->getType() != TYPE_INTEGER)
        throw SystemException(kPlace, "Класс строки " + IntToStr(row) + " не является целым числом: " + Object::toText(value));
    return static_cast<const CInteger&>(*value).getValue();
}

}  // namespace

TCriteryMinP::TCriteryMinP(bool realOutput, bool strict, DatasetPtr testDataset)
    : TCritery(strict, std::move(testDataset)), realOutput(realOutput)
{
}

TCriteryMinP::~TCriteryMinP() = default;

std::unique_ptr<SampleArrays> TCriteryMinP::denseArrays(const Vector& params, const char* place) const
{
    if (realOutput || collect || testDataset || !gridSearch || !model || params.size() < 2)
        return nullptr;
    const ObjectPtr& codes = params.elementAt(0);
    const ObjectPtr& masks = params.elementAt(1);
    if (!codes || !masks || codes->getType() != TYPE_VECTOR || masks->getType() != TYPE_VECTOR)
        return nullptr;
    return SampleArrays::of(*model->getDataset(), static_cast<const Vector&>(*codes), static_cast<const Vector&>(*masks),
                            place);
}

std::vector<double> TCriteryMinP::scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                            const std::function<void()>& step, const char* place)
{
    std::unique_ptr<SampleArrays> arrays = params ? denseArrays(*params, place) : nullptr;
    if (!arrays)
        return TCritery::scoreGrid(params, sigma, grid, step, place);
    std::vector<double> deviations(static_cast<size_t>(sigma.size()));
    for (int j = 0; j < sigma.size(); ++j)
        deviations[static_cast<size_t>(j)] = sigma.getDouble(j);
    return gridSearch->search(arrays->view(), deviations, grid, strict, step).criterion;
}

double TCriteryMinP::getCriterion(const Vector& params)
{
    const Dataset& ds = testDataset ? *testDataset : *model->getDataset();
    const DataModel& table = *ds.getDataModel();
    if (collect) {
        rightDataset = collector(table);
        wrongDataset = collector(table);
    }
    int errors = 0;
    int scored = 0;
    const int rows = table.getRowCount();
    for (int i = 0; i < rows; ++i) {
        if (ds.isExcluded(i))
            continue;
        ++scored;
        const Verdict verdict = verdictOf(ds, i, params);
        if (verdict == Verdict::Undecided && strict)
            return NO_CRITERION;
        const bool wrong = verdict != Verdict::Right;
        if (wrong)
            ++errors;
        if (collect)
            collectRow(ds, i, wrong);
    }
    if (scored == 0)
        throw SystemException(kPlace, "В выборке нет ни одной строки для оценки модели");
    return static_cast<double>(errors) / static_cast<double>(scored);
}

TCriteryMinP::Verdict TCriteryMinP::verdictOf(const Dataset& ds, int i, const Vector& params)
{
    auto xi = ds.getInRow(i);
    const int skip = testDataset ? -1 : i;
    if (!realOutput) {
        const int y = model->getOutInt(*xi, params, skip, nullptr);
        if (y == NOT_DEFINED)
            return Verdict::Undecided;
        return y == classOf(ds, i) ? Verdict::Right : Verdict::Wrong;
    }
    const double y = model->getOut(*xi, params, skip, nullptr);
    if (y == NOT_DEFINED_REAL)
        return Verdict::Undecided;
    const double t = Dataset::numberOf(ds.getOutValue(i).get(), kPlace, "Y, строка " + IntToStr(i));
    return (y >= 0 && t >= 0) || (y < 0 && t < 0) ? Verdict::Right : Verdict::Wrong;
}

void TCriteryMinP::collectRow(const Dataset& ds, int i, bool wrong)
{
    const DatasetPtr& target = wrong ? wrongDataset : rightDataset;
    target->getDataModel()->addRow(ds.getDataModel()->copyRow(i));
    const ObjectPtr& out = ds.getOutValue(i);
    target->getOutValues()->add(out ? out->clone() : nullptr);
}
