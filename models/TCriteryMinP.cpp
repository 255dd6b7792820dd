#include "models/TCriteryMinP.h"

#include <bit>
#include <cstdint>

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

std::unique_ptr<SampleArrays> TCriteryMinP::denseArrays(const Vector& params) const
{
    if (realOutput || collect || testDataset || !gridSearch || !model || params.size() < 2)
        return nullptr;
    const ObjectPtr& codes = params.elementAt(0);
    const ObjectPtr& masks = params.elementAt(1);
    if (!codes || !masks || codes->getType() != TYPE_VECTOR || masks->getType() != TYPE_VECTOR)
        return nullptr;
    return SampleArrays::of(*model->getDataset(), static_cast<const Vector&>(*codes), static_cast<const Vector&>(*masks));
}

std::vector<double> TCriteryMinP::scoreGrid(const Vector* params, const Vector& sigma, const std::vector<double>& grid,
                                            const std::function<void()>& step)
{
    std::unique_ptr<SampleArrays> arrays = params ? denseArrays(*params) : nullptr;
    if (!arrays)
        return TCritery::scoreGrid(params, sigma, grid, step);
    std::vector<double> deviations(static_cast<size_t>(sigma.size()));
    for (int j = 0; j < sigma.size(); ++j)
        deviations[static_cast<size_t>(j)] = sigma.getDouble(j);
    std::vector<double> criterion = gridSearch->search(arrays->view(), deviations, grid, strict, step).criterion;
    searched = {std::move(arrays), std::move(deviations), grid, criterion, strict};
    return criterion;
}

const double* TCriteryMinP::searchedAt(const SampleArrays& arrays, const std::vector<double>& h) const
{
    if (!searched.arrays || searched.strict != strict || searched.sigma.size() != h.size()
        || !searched.arrays->sameAs(arrays))
        return nullptr;
    auto same = [](double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); };
    for (std::size_t g = 0; g < searched.grid.size(); ++g) {
        bool all = true;
        for (std::size_t j = 0; all && j < h.size(); ++j)
            all = same(h[j], searched.sigma[j] * searched.grid[g]);
        if (all)
            return &searched.criterion[g];
    }
    return nullptr;
}

double TCriteryMinP::getCriterion(const Vector& params)
{
    if (params.size() == 3) {
        const ObjectPtr& last = params.elementAt(2);
        if (last && last->getType() == TYPE_VECTOR) {
            if (auto arrays = denseArrays(params)) {
                const Vector& widths = static_cast<const Vector&>(*last);
                std::vector<double> h(static_cast<size_t>(widths.size()));
                for (int j = 0; j < widths.size(); ++j)
                    h[static_cast<size_t>(j)] = widths.getDouble(j);
                // The kept grid serves the one question that follows a search; its copy of
                // the sample is not held for the rest of the run.
                if (const double* known = searchedAt(*arrays, h)) {
                    const double value = *known;
                    searched = {};
                    return value;
                }
                searched = {};
                return gridSearch->search(arrays->view(), h, {1.0}, strict, {}).criterion.front();
            }
        }
    }
    const Dataset& ds = testDataset ? *testDataset : *model->getDataset();
    const DataModel& table = *ds.getDataModel();
    if (collect) {
        rightDataset = collector(table);
        wrongDataset = collector(table);
    }
    int errors = 0;
    int left = 0;
    const int rows = table.getRowCount();
    for (int i = 0; i < rows; ++i) {
        if (ds.isExcluded(i)) {
            ++left;
            continue;
        }
        auto xi = ds.getInRow(i);
        const int skip = testDataset ? -1 : i;
        bool wrong;
        if (!realOutput) {
            const int y = model->getOutInt(*xi, params, skip, nullptr);
            if (y == NOT_DEFINED) {
                if (strict)
                    return NO_RESULT;
                wrong = true;
            } else {
                wrong = y != classOf(ds, i);
            }
        } else {
            const double y = model->getOut(*xi, params, skip, nullptr);
            if (y == NOT_DEFINED_REAL) {
                if (strict)
                    return NO_RESULT;
                wrong = true;
            } else {
                const double t = Dataset::numberOf(ds.getOutValue(i).get(), kPlace, "Y, строка " + IntToStr(i));
                wrong = !((y >= 0 && t >= 0) || (y < 0 && t < 0));
            }
        }
        if (wrong)
            ++errors;
        if (collect) {
            const DatasetPtr& target = wrong ? wrongDataset : rightDataset;
            target->getDataModel()->addRow(table.copyRow(i));
            const ObjectPtr& out = ds.getOutValue(i);
            target->getOutValues()->add(out ? out->clone() : nullptr);
        }
    }
    const int scored = rows - left;
    if (scored == 0)
        throw SystemException(kPlace, "В выборке нет ни одной строки для оценки модели");
    return static_cast<double>(errors) / static_cast<double>(scored);
}
