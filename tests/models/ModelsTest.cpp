#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "core/Utils.h"
#include "models/TModelClass.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/SampleArrays.h"
#include "tests/support/InstructionSets.h"
#include "tests/support/Raised.h"
#include "tests/support/RecordingBar.h"
#include "tests/support/SampleBuilder.h"
#include "tests/support/TempDir.h"

namespace {

[[maybe_unused]] const ::testing::Environment* const kReport =
    ::testing::AddGlobalTestEnvironment(new testsupport::InstructionSetsReport);

using testsupport::reals;
using testsupport::sample;

class DensityTest : public ::testing::Test {
protected:
    DatasetPtr ds = sample({{0.0}, {1.0}}, {1, 1});
    TModelDensity model{ds};
};

TEST_F(DensityTest, EpanechnikovProductOverTheRows)
{
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), 0.5625);
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), 0, nullptr), 0.5625);
}

TEST_F(DensityTest, RowsOnTheWindowEdgeGetNoWeight)
{
    // u = -1 for row 1 and u = 0 for row 0: only row 0 counts, n stays 2.
    EXPECT_EQ(model.getOut(*reals({0.0}), *reals({1.0}), -1, nullptr), 0.75 / 2);
}

TEST_F(DensityTest, NothingInTheWindowIsNotDefined)
{
    EXPECT_EQ(model.getOut(*reals({5.0}), *reals({1.0}), -1, nullptr), NOT_DEFINED_REAL);
    ds->setMask(Vector::repeat(std::make_shared<CInteger>(1), 2));
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), NOT_DEFINED_REAL);
}

TEST_F(DensityTest, MissingOrTextInputIsAClearError)
{
    auto x = std::make_shared<Vector>();
    x->add(nullptr);
    auto e = raised([&] { model.getOut(*x, *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(e.place, "TModelDensity.getOut(Vector*, Vector*)");
    EXPECT_NE(e.message.find("x[0]"), std::string::npos);
    ds->getDataModel()->setValue(std::make_shared<CString>("a"), 1, 0);
    EXPECT_THROW(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), SystemException);
}

TEST_F(DensityTest, UnsupportedOperations)
{
    auto e = raised([&] { model.getOutInt(*reals({0.5}), *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(e.place, "TModelDensity.getOutInt(Vector*, Vector*)");
    EXPECT_EQ(e.message, "Метод не поддерживается");
    EXPECT_EQ(model.optimize(nullptr, nullptr), nullptr);
    TModelClass classifier(ds);
    auto c = raised([&] { classifier.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(c.place, "TModelClass.getOut(Vector*, Vector*)");
}

// Hand-made parameters: class codes, masks, widths.
VectorPtr handParams(const DatasetPtr& ds, std::initializer_list<double> widths)
{
    auto codes = ds->getClasses();
    auto masks = std::make_shared<Vector>();
    for (int k = 0; k < codes->size(); ++k) {
        auto mask = std::make_shared<Vector>();
        ObjectPtr marker = std::make_shared<CInteger>(1);
        for (int j = 0; j < ds->getDataModel()->getRowCount(); ++j)
            mask->add(!ds->isExcluded(j) && Object::compare(ds->getOutValue(j), codes->elementAt(k)) == 0 ? nullptr : marker);
        masks->add(mask);
    }
    auto p = std::make_shared<Vector>();
    p->add(codes);
    p->add(masks);
    p->add(reals(widths));
    return p;
}

class ClassifierTest : public ::testing::Test {};

TEST_F(ClassifierTest, HighestDensityWinsAndDensitiesAreKept)
{
    auto ds = sample({{0.0}, {1.0}, {3.0}}, {1, 1, 2});
    TModelClass model(ds);
    EXPECT_EQ(model.getOutInt(*reals({0.5}), *handParams(ds, {1.0}), -1, nullptr), 1);
    EXPECT_EQ(model.getClassDensities()->toLine(), "0.56; -999999.00; ");
    EXPECT_EQ(model.getClassDensities()->getDouble(0), 0.5625);
}

TEST_F(ClassifierTest, TiesGoToTheFirstClass)
{
    auto ds = sample({{1.0}, {-1.0}}, {2, 1});
    TModelClass model(ds);
    EXPECT_EQ(model.getOutInt(*reals({0.0}), *handParams(ds, {2.0}), -1, nullptr), 2);
}

TEST_F(ClassifierTest, OutsideEveryWindowIsNotDefined)
{
    auto ds = sample({{0.0}, {1.0}, {3.0}}, {1, 1, 2});
    TModelClass model(ds);
    EXPECT_EQ(model.getOutInt(*reals({50.0}), *handParams(ds, {1.0}), -1, nullptr), NOT_DEFINED);
    EXPECT_EQ(model.getClassDensities()->toLine(), "-999999.00; -999999.00; ");
}

TEST_F(ClassifierTest, ParametersWithoutWidthsAreRejected)
{
    auto ds = sample({{0.0}, {1.0}}, {1, 2});
    TModelClass model(ds);
    auto p = handParams(ds, {1.0});
    p->setSize(2);
    auto e = raised([&] { model.getOutInt(*reals({0.5}), *p, -1, nullptr); });
    EXPECT_EQ(e.place, "TModelClass.getOutInt(Vector*, Vector*)");
}

TEST_F(ClassifierTest, ClassCodesAndMasksInOrderOfFirstAppearance)
{
    auto ds = sample({{0.0}, {0.5}, {0.1}, {0.9}, {0.2}}, {2, 1, 2, 3, 3});
    TModelClass model(ds);
    auto p = model.optimize(nullptr, nullptr);
    EXPECT_EQ(model.getClassCodes()->toLine(), "2; 1; 3; ");
    EXPECT_EQ(model.getClassCodes()->elementAt(0), ds->getOutValue(0));
    auto masks = std::static_pointer_cast<Vector>(p->elementAt(1));
    auto ofClass1 = std::static_pointer_cast<Vector>(masks->elementAt(1));
    EXPECT_EQ(ofClass1->toLine(), "1; null; 1; 1; 1; ");
    EXPECT_EQ(ofClass1->elementAt(0), ofClass1->elementAt(2));
    EXPECT_EQ(p->size(), 3);
}

TEST_F(ClassifierTest, EachClassIsFilledFromItsOwnRows)
{
    auto ds = sample({{1.0}, {3.0}, {std::nullopt}, {10.0}, {20.0}, {std::nullopt}}, {1, 1, 1, 2, 2, 2});
    TModelClass model(ds);
    model.optimize(nullptr, nullptr);
    EXPECT_EQ(ds->getDataModel()->getRow(2).getDouble(0), 2.0);
    EXPECT_EQ(ds->getDataModel()->getRow(5).getDouble(0), 15.0);
}

class CriterionTest : public ::testing::Test {
protected:
    double criterion(const DatasetPtr& ds, double width)
    {
        TModelClass model(ds);
        model.getCriteryMinP().setModel(&model);
        return model.getCriteryMinP().getCriterion(*handParams(ds, {width}));
    }
};

TEST_F(CriterionTest, AllRightIsZero)
{
    EXPECT_EQ(criterion(sample({{0.0}, {0.1}, {5.0}, {5.1}}, {1, 1, 2, 2}), 1.0), 0.0);
}

TEST_F(CriterionTest, OneOfFourWrongIsAQuarter)
{
    // Row 3 sits among class 1 and is outvoted there.
    EXPECT_EQ(criterion(sample({{0.0}, {0.1}, {0.2}, {0.15}, {5.0}, {5.1}}, {1, 1, 1, 2, 2, 2}), 1.0), 1.0 / 6);
    // Row 2 is outvoted by class 1; the excluded row 4 counts neither way.
    auto ds = sample({{0.0}, {0.1}, {0.15}, {0.5}, {9.0}}, {1, 1, 2, 2, 1});
    auto mask = Vector::repeat(nullptr, 5);
    mask->set(4, std::make_shared<CInteger>(1));
    ds->setMask(mask);
    EXPECT_EQ(criterion(ds, 1.0), 0.25);
}

TEST_F(CriterionTest, UndecidedRowUnderStrictGivesNoResult)
{
    EXPECT_EQ(criterion(sample({{0.0}, {0.1}, {50.0}, {5.1}}, {1, 1, 2, 2}), 1.0), 1e101);
}

TEST_F(CriterionTest, NoIncludedRowIsAnError)
{
    auto ds = sample({{0.0}, {1.0}}, {1, 2});
    ds->setMask(Vector::repeat(std::make_shared<CInteger>(1), 2));
    EXPECT_THROW(criterion(ds, 1.0), SystemException);
}

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
    auto p = model.optimize(nullptr, nullptr);
    auto widths = std::static_pointer_cast<Vector>(p->elementAt(2));
    const double sigma = ds->getDeviations()->getDouble(0);
    // Every c up to the first that keeps all rows decided and right wins; the smallest such c.
    // A model that has not searched computes each point afresh.
    double best = 1e101;
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
    EXPECT_EQ(model.getCriteryMinP().getCriterion(*p), best);
}

TEST_F(SearchTest, TheSearchsCriterionServesOnlyItsOwnSampleAndWidths)
{
    TModelClass model(ds);
    auto p = model.optimize(nullptr, nullptr);
    const double searched = model.getCriteryMinP().getCriterion(*p);
    // The same rows and classes, other values: the criterion at the same widths is the
    // new sample's own, not the one the search found.
    auto moved = sample({{0.0}, {1.3}, {0.5}, {2.5}, {2.0}, {0.4}, {2.6}, {3.1}}, {1, 1, 1, 1, 2, 2, 2, 2});
    TModelClass fresh(moved);
    fresh.getCriteryMinP().setModel(&fresh);
    const double expected = fresh.getCriteryMinP().getCriterion(*p);
    ASSERT_NE(expected, searched);
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
    auto p = model.optimize(nullptr, nullptr);
    auto q = reference.optimize(nullptr, nullptr);
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

class JournalTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string journal() { return TempDir::read(dir / "j.log"); }
};

TEST_F(JournalTest, DensityWritesTwoIndentedLines)
{
    auto ds = sample({{0.0}, {1.0}}, {1, 1});
    {
        Log log(dir / "j.log", false);
        log.indent = 1;
        TModelDensity(ds).getOut(*reals({0.5}), *reals({1.0}), -1, &log);
        EXPECT_EQ(log.indent, 1);
    }
    EXPECT_EQ(journal(), "\n    TModelDensity.getOut:\n    f = 0.56");
}

TEST_F(JournalTest, ClassificationOfOneObject)
{
    auto ds = sample({{0.0}, {1.0}, {3.0}}, {1, 1, 2});
    {
        Log log(dir / "j.log", false);
        TModelClass(ds).getOutInt(*reals({0.5}), *handParams(ds, {1.0}), -1, &log);
    }
    EXPECT_EQ(journal(),
              "\n  TModelClass.getOut:"
              "\n    TModelDensity.getOut:\n    f = 0.56"
              // The rounding bias moves the "no density" value off its own text.
              "\n    TModelDensity.getOut:\n    f = -999998.99"
              "\n  classCode = 1");
}

TEST_F(JournalTest, OptimizeAndSearch)
{
    auto ds = sample({{0.0}, {1.0}, {3.0}, {4.0}}, {1, 1, 2, 2});
    {
        Log log(dir / "j.log", false);
        TModelClass(ds).optimize(&log, nullptr);
        EXPECT_EQ(log.indent, 0);
    }
    EXPECT_EQ(journal(),
              "\n  TModelClass.optimize:"
              "\n  Кода классов = 1; 2; "
              "\n  Формирование подвыборок: "
              "\n  \n  Выборка для classCode = 1 (после заполнения пропусков): "
              "\n   | X1           | CLASS        | Y            | D            | "
              "\n   | 0.00         | 1            | 1            | null         | "
              "\n   | 1.00         | 1            | 1            | null         | "
              "\n   | 3.00         | 2            | 2            | 1            | "
              "\n   | 4.00         | 2            | 2            | 1            | "
              "\n  "
              "\n  \n  Выборка для classCode = 2 (после заполнения пропусков): "
              "\n   | X1           | CLASS        | Y            | D            | "
              "\n   | 0.00         | 1            | 1            | 1            | "
              "\n   | 1.00         | 1            | 1            | 1            | "
              "\n   | 3.00         | 2            | 2            | null         | "
              "\n   | 4.00         | 2            | 2            | null         | "
              "\n  "
              "\n  TOptimizerC.optimize:"
              "\n  c_min = 0.64"
              "\n  C_min = 1.01; "
              "\n  I_min = 0");
}

TEST_F(JournalTest, ShortSampleTextWhenDetailIsOff)
{
    auto ds = sample({{0.0}, {1.0}, {3.0}, {4.0}}, {1, 1, 2, 2});
    {
        Log log(dir / "j.log", false);
        log.detail = 0;
        TModelClass(ds).optimize(&log, nullptr);
    }
    EXPECT_NE(journal().find("Выборка для classCode = 1 (после заполнения пропусков): (4, 2)"), std::string::npos);
}

}  // namespace

namespace {

// The classifier over the fast engine, capped at each instruction set, against the same
// classes on the object-model path (the reference search): widths, criterion and
// densities equal to the bit.
class FastPathTest : public testsupport::InstructionSetTest {
protected:
    struct Outcome {
        std::vector<double> widths;
        double criterion;
        int cls;
        std::vector<double> densities;
        int steps;
    };

    Outcome run(const std::function<DatasetPtr()>& make, bool reference, const VectorPtr& x) const
    {
        DatasetPtr ds = make();
        TModelClass model(ds, ClassifierOptions{.engine = reference ? SearchEngine::Reference : SearchEngine::Fast, .instructionSets = set()});
        RecordingBar bar;
        auto p = model.optimize(nullptr, &bar);
        EXPECT_EQ(model.getCriteryMinP().denseArrays(*p) == nullptr, reference);
        Outcome o;
        auto widths = std::static_pointer_cast<Vector>(p->elementAt(2));
        for (int j = 0; j < widths->size(); ++j)
            o.widths.push_back(widths->getDouble(j));
        o.criterion = model.getCriteryMinP().getCriterion(*p);
        o.cls = model.getOutInt(*x, *p, -1, nullptr);
        for (int k = 0; k < model.getClassDensities()->size(); ++k)
            o.densities.push_back(model.getClassDensities()->getDouble(k));
        o.steps = bar.stepCount;
        return o;
    }

    static uint64_t bits(double v)
    {
        uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    }

    void expectSame(const std::function<DatasetPtr()>& make, const VectorPtr& x) const
    {
        Outcome fast = run(make, false, x);
        Outcome plain = run(make, true, x);
        ASSERT_EQ(fast.widths.size(), plain.widths.size());
        for (size_t j = 0; j < fast.widths.size(); ++j)
            EXPECT_EQ(bits(fast.widths[j]), bits(plain.widths[j]));
        EXPECT_EQ(bits(fast.criterion), bits(plain.criterion));
        EXPECT_EQ(fast.cls, plain.cls);
        ASSERT_EQ(fast.densities.size(), plain.densities.size());
        for (size_t k = 0; k < fast.densities.size(); ++k)
            EXPECT_EQ(bits(fast.densities[k]), bits(plain.densities[k]));
        EXPECT_EQ(fast.steps, 300);
        EXPECT_EQ(plain.steps, 300);
    }
};

TEST_P(FastPathTest, RandomSamplesWithGapsAndUnclassifiedRows)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        auto make = [seed] {
            std::mt19937 random(seed);
            std::normal_distribution<double> noise(0.0, 1.0);
            std::vector<std::vector<std::optional<double>>> rows;
            std::vector<int> classes;
            for (int i = 0; i < 40; ++i) {
                int c = i % 3;
                std::vector<std::optional<double>> row;
                for (int j = 0; j < 3; ++j) {
                    double v = std::round((c * 1.5 + noise(random)) * 10) / 10;
                    row.push_back(random() % 13 == 0 ? std::nullopt : std::optional<double>(v));
                }
                rows.push_back(row);
                classes.push_back(c + 1);
            }
            auto ds = sample(rows, classes);
            // A row without a class belongs to no class and is not scored.
            auto mask = Vector::repeat(nullptr, 40);
            mask->set(7, std::make_shared<CInteger>(1));
            ds->setMask(mask);
            return ds;
        };
        expectSame(make, reals({1.0, 1.5, 2.0}));
    }
}

// The criterion of the object-model classes at every grid point against the fast
// engine and the plain loops over the same arrays, to the bit.
TEST_P(FastPathTest, ConstantAndNearlyConstantColumnsAtEveryGridPoint)
{
    auto make = [](int variant) {
        std::mt19937 random(29);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<std::vector<std::optional<double>>> rows;
        std::vector<int> classes;
        for (int i = 0; i < 45; ++i) {
            const int c = i % 3;
            double last = 5.0;
            if (variant == 1 && i % 4 == 1)
                last = std::nextafter(5.0, 6.0);
            if (variant == 2 && i % 5 == 2)
                last = 5.0 + 1e-12;
            rows.push_back({std::round((c * 1.5 + noise(random)) * 10) / 10, std::round(noise(random) * 10) / 10, last});
            classes.push_back(c + 1);
        }
        return sample(rows, classes);
    };
    const std::vector<double> grid = TOptimizerC(0.01, 3.0, 0.01).grid();
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        DatasetPtr ds = make(variant);
        std::vector<double> sigma;
        for (int j = 0; j < 3; ++j)
            sigma.push_back(ds->getDeviations()->getDouble(j));
        ASSERT_GT(sigma[2], 0.0);
        ASSERT_LT(sigma[2], 1e-10);

        TModelClass model(ds, ClassifierOptions{.instructionSets = set()});
        auto p = model.optimize(nullptr, nullptr);
        auto arrays = model.getCriteryMinP().denseArrays(*p);
        ASSERT_TRUE(arrays);
        const FastSearch::Result fast = FastSearch::search(arrays->view(), sigma, grid, true, {}, {.instructionSets = set()});
        EXPECT_FALSE(fast.plainLoops);
        const GridScores loops = DenseReference::search(arrays->view(), sigma, grid, true);
        for (size_t g = 0; g < grid.size(); ++g) {
            auto widths = reals({sigma[0] * grid[g], sigma[1] * grid[g], sigma[2] * grid[g]});
            p->set(2, widths);
            const double objects = model.getCriteryMinP().getCriterion(*p);
            ASSERT_EQ(bits(objects), bits(fast.criterion[g])) << "c = " << grid[g];
            ASSERT_EQ(bits(objects), bits(loops.criterion[g])) << "c = " << grid[g];
        }

        expectSame([&] { return make(variant); }, reals({1.0, 0.0, 5.0}));
        expectSame([&] { return make(variant); }, reals({1.0, 0.0, 6.0}));
    }
}

TEST_P(FastPathTest, DuplicatesAndIntegerLevels)
{
    auto make = [] {
        std::vector<std::vector<std::optional<double>>> rows;
        std::vector<int> classes;
        for (int i = 0; i < 36; ++i) {
            rows.push_back({double(i % 3), double((i / 3) % 2)});
            classes.push_back(i % 2 + 5);
        }
        return sample(rows, classes);
    };
    expectSame(make, reals({1.0, 0.0}));
}

// Hands each search on to the local one and counts them.
class CountingGridSearch : public GridSearch {
public:
    explicit CountingGridSearch(InstructionSet sets) : local(FastSearch::Options{.instructionSets = sets}) {}

    FastSearch::Result search(const DenseSample& sample, const std::vector<double>& sigma,
                              const std::vector<double>& grid, bool strict,
                              const std::function<void()>& stepIt) override
    {
        ++searches;
        points += grid.size();
        return local.search(sample, sigma, grid, strict, stepIt);
    }

    int searches = 0;
    std::size_t points = 0;

private:
    LocalGridSearch local;
};

TEST_P(FastPathTest, TheFastEngineSearchesThroughTheSuppliedGridSearchAlone)
{
    auto ds = sample({{0.0}, {0.3}, {0.5}, {0.9}, {2.0}, {2.4}, {2.6}, {3.1}}, {1, 1, 1, 1, 2, 2, 2, 2});
    std::vector<uint64_t> widths;
    for (const SearchEngine engine : {SearchEngine::Fast, SearchEngine::Reference}) {
        auto counting = std::make_shared<CountingGridSearch>(set());
        TModelClass model(ds, ClassifierOptions{.engine = engine, .instructionSets = set(), .gridSearch = counting});
        RecordingBar bar;
        auto p = model.optimize(nullptr, &bar);
        EXPECT_EQ(counting->searches, engine == SearchEngine::Fast ? 1 : 0);
        EXPECT_EQ(counting->points, engine == SearchEngine::Fast ? 300u : 0u);
        EXPECT_EQ(bar.stepCount, 300);
        widths.push_back(bits(std::static_pointer_cast<Vector>(p->elementAt(2))->getDouble(0)));
    }
    EXPECT_EQ(widths[0], widths[1]);
}

INSTANTIATE_TEST_SUITE_P(Sets, FastPathTest, ::testing::ValuesIn(testsupport::kSets), testsupport::setName);

}  // namespace
