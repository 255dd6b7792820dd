#include "models/TModelDensity.h"

#include <vector>

#include "core/Utils.h"
#include "models/fast/DensityCore.h"
#include "objects/Values.h"

namespace {

const char* const kPlace = "TModelDensity.getOut(Vector*, Vector*)";

std::vector<double> numbers(const Vector& v, int count, const char* what)
{
    std::vector<double> result(static_cast<size_t>(count));
    for (int j = 0; j < count; ++j)
        result[static_cast<size_t>(j)] =
            Dataset::numberOf(v.elementAt(j).get(), kPlace, std::string(what) + "[" + IntToStr(j) + "]");
    return result;
}

}  // namespace

double TModelDensity::getOut(const Vector& x, const Vector& bandwidths, int skip, Log* log)
{
    if (log) {
        ++log->indent;
        log->writeLine("TModelDensity.getOut:");
    }
    const DataModel& model = *dataset->getDataModel();
    const Vector& inColumns = *dataset->getInColumns();
    const int columns = inColumns.size();
    std::vector<int> columnIndex(static_cast<size_t>(columns));
    for (int j = 0; j < columns; ++j)
        columnIndex[static_cast<size_t>(j)] = inColumns.getInt(j);
    const std::vector<double> xs = numbers(x, columns, "x");
    const std::vector<double> hs = numbers(bandwidths, columns, "h");

    double sum = 0.0;
    int left = 0;
    const int rows = model.getRowCount();
    for (int i = 0; i < rows; ++i) {
        if (dataset->isExcluded(i) || i == skip) {
            ++left;
            continue;
        }
        const Vector& row = model.getRow(i);
        const double g = DensityCore::rowProduct(
            columns, [&](int j) { return xs[static_cast<size_t>(j)]; },
            [&](int j) {
                const int column = columnIndex[static_cast<size_t>(j)];
                const Object* cell = row.elementAt(column).get();
                if (cell && cell->getType() == TYPE_DOUBLE)
                    return static_cast<const CDouble*>(cell)->getValue();
                return Dataset::numberOf(cell, kPlace,
                                         model.getColumnName(column).getValue() + ", строка " + IntToStr(i));
            },
            [&](int j) { return hs[static_cast<size_t>(j)]; });
        sum = sum + g;
    }
    const int n = rows - left;
    double widthProduct = 1.0;
    for (int j = 0; j < bandwidths.size(); ++j)
        widthProduct = widthProduct * bandwidths.getDouble(j);
    const double f = DensityCore::density(sum, n, widthProduct);

    if (log) {
        log->writeLine("f = " + FloatToStr(CDouble::roundTo(f, 2)));
        --log->indent;
    }
    return f;
}

int TModelDensity::getOutInt(const Vector&, const Vector&, int, Log*)
{
    throw SystemException("TModelDensity.getOutInt(Vector*, Vector*)", "Метод не поддерживается");
}

Fit TModelDensity::optimize(Log*, TBar*)
{
    return {};
}
