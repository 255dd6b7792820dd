// The grid search of the width factor: the grid, the progress, the chosen widths and
// the samples it refuses.

#include <gtest/gtest.h>

#include "core/Utils.h"
#include "models/TModelClass.h"
#include "tests/support/Raised.h"
#include "tests/support/RecordingBar.h"
#include "tests/support/SampleBuilder.h"

namespace {

using testsupport::handParams;
using testsupport::reals;
using testsupport::sample;

class SearchTest : public ::testing::Test {
protected:
    DatasetPtr ds = sample({{0.0}, {0.3}, {0.5}, {0.9}, {2.0}, {2.4}, {2.6}, {3.1}}, {1, 1, 1, 1, 2, 2, 2, 2});
};

TEST_F(SearchTest, GridHasThreeHundredPointsBuiltByAddition)
{
    TOptimizerC optimizer(0.01, 3.0, 0.01);
    auto grid = optimizer.grid();
    ASSERT_EQ(grid.size(), 300u);
    EXPECT_EQ(FloatToStr(grid.back()), "2.99999999999998");
    double c = 0.01;
    for (int i = 0; i < 299; ++i)
        c = c + 0.01;
    EXPECT_EQ(grid.back(), c);
}

TEST_F(SearchTest, DrivesTheProgressBar)
{
    TModelClass model(ds);
    RecordingBar bar;
    model.optimize(nullptr, &bar);
    EXPECT_EQ(bar.min, 10);
    EXPECT_EQ(bar.max, 3000);
    EXPECT_EQ(bar.step, 10);
    EXPECT_EQ(bar.stepCount, 300);
    EXPECT_EQ(bar.position, 3000);
}

TEST_F(SearchTest, ChosenWidthsReproduceTheBestCriterion)
{
    TModelClass model(ds);
    const Fit fit = model.optimize(nullptr, nullptr);
    auto widths = std::static_pointer_cast<Vector>(fit.params->elementAt(2));
    const double sigma = ds->getDeviations()->getDouble(0);
    // Every c up to the first that keeps all rows decided and right wins; the smallest such c.
    // A model that has not searched computes each point afresh.
    double best = NO_CRITERION;
    double chosen = 0;
    TModelClass fresh(ds);
    fresh.getCriteryMinP().setModel(&fresh);
    TOptimizerC optimizer(0.01, 3.0, 0.01);
    for (double c : optimizer.grid()) {
        auto p2 = handParams(ds, {sigma * c});
        double value = fresh.getCriteryMinP().getCriterion(*p2);
        if (value < best) {
            best = value;
            chosen = sigma * c;
        }
    }
    EXPECT_EQ(widths->getDouble(0), chosen);
    // The criterion the search hands on is the criterion at the widths it chose.
    EXPECT_EQ(fit.criterion, best);
    EXPECT_EQ(model.getCriteryMinP().getCriterion(*fit.params), best);
}

TEST_F(SearchTest, TheSearchsCriterionServesOnlyItsOwnSampleAndWidths)
{
    TModelClass model(ds);
    const Fit fit = model.optimize(nullptr, nullptr);
    const VectorPtr& p = fit.params;
    // The same rows and classes, other values: the criterion at the same widths is the
    // new sample's own, not the one the search found.
    auto moved = sample({{0.0}, {1.3}, {0.5}, {2.5}, {2.0}, {0.4}, {2.6}, {3.1}}, {1, 1, 1, 1, 2, 2, 2, 2});
    TModelClass fresh(moved);
    fresh.getCriteryMinP().setModel(&fresh);
    const double expected = fresh.getCriteryMinP().getCriterion(*p);
    ASSERT_NE(expected, fit.criterion);
    model.setDataset(moved);
    EXPECT_EQ(model.getCriteryMinP().getCriterion(*p), expected);
}

TEST_F(SearchTest, ConstantInputColumnIsRejectedBeforeTheSearch)
{
    auto constant = sample({{1.0, 0.0}, {1.0, 1.0}, {1.0, 2.0}}, {1, 2, 1});
    TModelClass model(constant);
    RecordingBar bar;
    auto e = raised([&] { model.optimize(nullptr, &bar); });
    EXPECT_EQ(e.place, "TOptimizerC.optimize(Vector*, Log*, TBar*)");
    EXPECT_EQ(e.message, "Нулевое стандартное отклонение входной колонки: X1");
    EXPECT_EQ(bar.stepCount, 0);
}

// Ten cells of 0.1: the mean summed in tenths misses 0.1 and leaves the column a tiny
// deviation. The column is searched like any other and is neutral: at every c each row
// has the same class as without it. An object with the column's value gets the same
// class; any other value lies outside every window.
TEST_F(SearchTest, ConstantColumnWithATinyDeviationIsNeutral)
{
    std::vector<std::vector<std::optional<double>>> with;
    std::vector<std::vector<std::optional<double>>> without;
    std::vector<int> classes;
    for (int i = 0; i < 10; ++i) {
        with.push_back({0.1, double(i % 4) + 0.1 * i});
        without.push_back({double(i % 4) + 0.1 * i});
        classes.push_back(i % 2);
    }
    auto constant = sample(with, classes);
    auto plain = sample(without, classes);
    const double sigma = constant->getDeviations()->getDouble(0);
    EXPECT_GT(sigma, 0.0);
    EXPECT_LT(sigma, 1e-15);

    TModelClass model(constant);
    TModelClass reference(plain);
    auto p = model.optimize(nullptr, nullptr).params;
    auto q = reference.optimize(nullptr, nullptr).params;
    auto widths = std::static_pointer_cast<Vector>(p->elementAt(2));
    auto referenceWidths = std::static_pointer_cast<Vector>(q->elementAt(2));
    EXPECT_EQ(widths->getDouble(1), referenceWidths->getDouble(0));
    EXPECT_EQ(model.getCriteryMinP().getCriterion(*p), reference.getCriteryMinP().getCriterion(*q));
    for (double c : TOptimizerC(0.01, 3.0, 0.01).grid()) {
        const double width = plain->getDeviations()->getDouble(0) * c;
        ASSERT_EQ(model.getCriteryMinP().getCriterion(*handParams(constant, {sigma * c, width})),
                  reference.getCriteryMinP().getCriterion(*handParams(plain, {width})))
            << "c = " << c;
    }

    for (double x : {0.5, 1.2, 2.35, 3.9}) {
        EXPECT_EQ(model.getOutInt(*reals({0.1, x}), *p, -1, nullptr),
                  reference.getOutInt(*reals({x}), *q, -1, nullptr)) << x;
        EXPECT_EQ(model.getOutInt(*reals({0.2, x}), *p, -1, nullptr), NOT_DEFINED) << x;
        EXPECT_EQ(model.getClassDensities()->toLine(), "-999999.00; -999999.00; ");
    }
}

TEST_F(SearchTest, OverflowingDeviationIsAClearError)
{
    auto huge = sample({{1e200, 0.0}, {-1e200, 1.0}, {1e200, 2.0}, {-1e200, 3.0}}, {1, 2, 1, 2});
    TModelClass model(huge);
    EXPECT_EQ(raised([&] { model.optimize(nullptr, nullptr); }).message,
              "Стандартное отклонение входной колонки не является конечным числом: X1");
}

TEST_F(SearchTest, NearlyConstantColumnIsNoError)
{
    auto near = sample({{45000.0, 0.0}, {45000.0 + 1e-10, 1.0}, {45000.0, 2.0}, {45000.0 + 1e-10, 3.0}}, {1, 2, 1, 2});
    TModelClass model(near);
    EXPECT_NO_THROW(model.optimize(nullptr, nullptr));
}

TEST_F(SearchTest, NoGridPointWithAResultIsAnError)
{
    // Row 0 is alone in its class and farther than 3 sigma from every other row, so at
    // every c it has no class within its window.
    auto far = sample({{0.0}, {1000.0}, {1000.1}, {1000.2}, {1000.3}, {1000.4}, {1000.5}, {1000.6}, {1000.7}, {1000.8}},
                      {1, 2, 2, 2, 2, 2, 2, 2, 2, 2});
    TModelClass model(far);
    auto e = raised([&] { model.optimize(nullptr, nullptr); });
    EXPECT_EQ(e.message, "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов");
}

}  // namespace
