// The leave-one-out error rate, through the object-model classes.

#include <gtest/gtest.h>

#include "core/Utils.h"
#include "models/TModelClass.h"
#include "models/fast/SampleArrays.h"
#include "tests/support/Raised.h"
#include "tests/support/SampleBuilder.h"

namespace {

using testsupport::handParams;
using testsupport::reals;
using testsupport::sample;

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
    EXPECT_EQ(criterion(sample({{0.0}, {0.1}, {50.0}, {5.1}}, {1, 1, 2, 2}), 1.0), NO_CRITERION);
}

TEST_F(CriterionTest, NoIncludedRowIsAnError)
{
    auto ds = sample({{0.0}, {1.0}}, {1, 2});
    ds->setMask(Vector::repeat(std::make_shared<CInteger>(1), 2));
    EXPECT_THROW(criterion(ds, 1.0), SystemException);
}

TEST_F(CriterionTest, CollectedRowsAreSplitIntoRightAndWrong)
{
    auto ds = sample({{0.0}, {0.1}, {0.2}, {0.15}, {5.0}, {5.1}}, {1, 1, 1, 2, 2, 2});
    TModelClass model(ds);
    TCriteryMinP& criterion = model.getCriteryMinP();
    criterion.setModel(&model);
    criterion.setCollect(true);
    EXPECT_EQ(criterion.getCriterion(*handParams(ds, {1.0})), 1.0 / 6);
    EXPECT_EQ(criterion.getRightDataset()->getDataModel()->getRowCount(), 5);
    EXPECT_EQ(criterion.getRightDataset()->getOutValues()->toLine(), "1; 1; 1; 2; 2; ");
    EXPECT_EQ(criterion.getWrongDataset()->getDataModel()->getRowCount(), 1);
    EXPECT_EQ(criterion.getWrongDataset()->getDataModel()->getRow(0).getDouble(0), 0.15);
    EXPECT_EQ(criterion.getWrongDataset()->getOutValues()->toLine(), "2; ");
}

// A real output is right when it has the sign of the row's own; a row without output
// is wrong, or leaves no result under strict.
TEST_F(CriterionTest, RealOutputsAreComparedBySign)
{
    auto ds = sample({{0.0}, {0.1}, {0.2}, {50.0}}, {1, 1, -1, 1});
    TModelDensity density(ds);
    TCriteryMinP criterion(true, false, nullptr);
    criterion.setModel(&density);
    EXPECT_EQ(criterion.getCriterion(*reals({1.0})), 0.5);
    criterion.setStrict(true);
    EXPECT_EQ(criterion.getCriterion(*reals({1.0})), NO_CRITERION);
}

// The grid search's dense copy of the sample names the caller of the search when a
// cell is no number.
TEST_F(CriterionTest, ACellThatIsNoNumberNamesTheCallerOfTheGridSearch)
{
    auto ds = sample({{0.0}, {0.1}, {5.0}, {5.1}}, {1, 1, 2, 2});
    TModelClass model(ds);
    TCriteryMinP& criterion = model.getCriteryMinP();
    criterion.setModel(&model);
    criterion.setGridSearch(std::make_shared<LocalGridSearch>(FastSearch::Options{}));
    auto p = handParams(ds, {1.0});
    p->setSize(2);
    ASSERT_TRUE(criterion.denseArrays(*p, "Caller.search()"));
    ds->getDataModel()->setValue(std::make_shared<CString>("a"), 2, 0);
    const auto e = raised([&] { criterion.scoreGrid(p.get(), *reals({1.0}), {1.0}, {}, "Caller.search()"); });
    EXPECT_EQ(e.place, "Caller.search()");
    EXPECT_NE(e.message.find("X1, строка 2"), std::string::npos) << e.message;
}

}  // namespace
