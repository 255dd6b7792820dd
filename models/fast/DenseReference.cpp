#include "models/fast/DenseReference.h"

#include <string>

#include "core/Utils.h"
#include "models/fast/FastSearch.h"

namespace DenseReference {

double density(const DenseSample& s, int i, int q, const double* h, double widthProduct)
{
    const double* xi = s.x + static_cast<std::size_t>(i) * s.columns;
    double sum = 0.0;
    int left = 0;
    for (int r = 0; r < s.rows; ++r) {
        if (s.cls[r] != q || r == i) {
            ++left;
            continue;
        }
        sum = sum + kernelProduct(xi, s.x + static_cast<std::size_t>(r) * s.columns, h, s.columns);
    }
    return DensityCore::density(sum, s.rows - left, widthProduct);
}

int classify(const DenseSample& s, int i, const double* h, double widthProduct)
{
    double best = -1.0;
    int result = -1;
    for (int q = 0; q < s.classes; ++q) {
        const double f = density(s, i, q, h, widthProduct);
        if (f != NO_DENSITY && f > best) {
            best = f;
            result = q;
        }
    }
    return result;
}

double widthProduct(const double* h, int columns)
{
    double p = 1.0;
    for (int j = 0; j < columns; ++j)
        p = p * h[j];
    return p;
}

double criterion(const DenseSample& s, const double* h, bool strict, std::int64_t* errors, std::int64_t* undecided)
{
    validate(s, nullptr, "DenseReference.criterion");
    const double p = widthProduct(h, s.columns);
    GridCounts counts{{0}, {0}, 0};
    for (int i = 0; i < s.rows; ++i) {
        if (s.cls[i] == -1)
            continue;
        ++counts.scored;
        const int y = classify(s, i, h, p);
        if (y == -1) {
            ++counts.undecided[0];
            if (strict)
                break;
            ++counts.errors[0];
        } else if (y != s.cls[i]) {
            ++counts.errors[0];
        }
    }
    const GridScores scores = FastSearch::scoresOf(counts, strict);
    if (errors)
        *errors = scores.errors[0];
    if (undecided)
        *undecided = scores.undecided[0];
    return scores.criterion[0];
}

GridScores search(const DenseSample& s, const std::vector<double>& sigma, const std::vector<double>& grid, bool strict)
{
    validate(s, &sigma, "DenseReference.search");
    GridScores result;
    std::vector<double> h(sigma.size());
    for (const double c : grid) {
        for (std::size_t j = 0; j < sigma.size(); ++j)
            h[j] = sigma[j] * c;
        std::int64_t wrong = 0;
        std::int64_t undecided = 0;
        result.criterion.push_back(criterion(s, h.data(), strict, &wrong, &undecided));
        result.errors.push_back(wrong);
        result.undecided.push_back(undecided);
    }
    return result;
}

void validate(const DenseSample& s, const std::vector<double>* sigma, const char* place)
{
    if (s.rows < 0 || s.columns < 0 || s.classes < 0 || (s.rows > 0 && (!s.x || !s.cls)))
        throw SystemException(place, "Неверные размеры выборки: строк " + std::to_string(s.rows) + ", входов "
                                         + std::to_string(s.columns) + ", классов " + std::to_string(s.classes));
    if (sigma && static_cast<int>(sigma->size()) != s.columns)
        throw SystemException(place, "Число отклонений " + std::to_string(sigma->size()) + " не равно числу входов "
                                         + std::to_string(s.columns));
    bool scored = false;
    for (int r = 0; r < s.rows; ++r) {
        if (s.cls[r] < -1 || s.cls[r] >= s.classes)
            throw SystemException(place, "Неверный класс строки " + std::to_string(r) + ": " + std::to_string(s.cls[r]));
        scored = scored || s.cls[r] != -1;
    }
    if (!scored)
        throw SystemException(place, "В выборке нет строк для оценки");
}

}  // namespace DenseReference
