// The class-density classifier: its class codes and masks, the class it gives an object
// and what it writes to the journal.

#include <gtest/gtest.h>

#include "core/Utils.h"
#include "models/TModelClass.h"
#include "tests/support/Raised.h"
#include "tests/support/SampleBuilder.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::handParams;
using testsupport::reals;
using testsupport::sample;

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
    auto p = model.optimize(nullptr, nullptr).params;
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

class ClassifierJournalTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string journal() { return TempDir::read(dir / "j.log"); }
};

TEST_F(ClassifierJournalTest, ClassificationOfOneObject)
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

TEST_F(ClassifierJournalTest, OptimizeAndSearch)
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

TEST_F(ClassifierJournalTest, ShortSampleTextWhenDetailIsOff)
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
