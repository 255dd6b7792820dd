#include <gtest/gtest.h>

#include "core/Utils.h"
#include "sample/Dataset.h"
#include "tests/support/SampleBuilder.h"

namespace {

using testsupport::sample;

ObjectPtr integer(int v) { return std::make_shared<CInteger>(v); }

class DatasetStatisticsTest : public ::testing::Test {};

TEST_F(DatasetStatisticsTest, MeanAndPopulationVariance)
{
    auto ds = sample({{1.0}, {2.0}, {3.0}}, {1, 1, 1});
    EXPECT_EQ(ds->getMean(0), 2.0);
    EXPECT_EQ(ds->getVariance(0), 1.0 / 3 + 0.0 / 3 + 1.0 / 3);
    auto deviations = ds->getDeviations();
    EXPECT_EQ(FloatToStr(deviations->getDouble(0)), "0.816496580927726");
}

TEST_F(DatasetStatisticsTest, TermsAreDividedBeforeTheyAreAdded)
{
    auto ds = sample({{0.1}, {0.2}, {0.7}}, {1, 1, 1});
    EXPECT_EQ(ds->getMean(0), 0.1 / 3 + 0.2 / 3 + 0.7 / 3);
}

TEST_F(DatasetStatisticsTest, ExcludedRowsAndMissingCellsDoNotCount)
{
    auto ds = sample({{1.0}, {std::nullopt}, {100.0}, {3.0}}, {1, 1, 1, 1});
    auto mask = Vector::repeat(nullptr, 4);
    mask->set(2, integer(1));
    ds->setMask(mask);
    EXPECT_EQ(ds->getValueCount(0), 2);
    EXPECT_EQ(ds->getMean(0), 2.0);
    EXPECT_TRUE(ds->isExcluded(2));
    ds->setMask(nullptr);
    EXPECT_FALSE(ds->isExcluded(2));
}

TEST_F(DatasetStatisticsTest, EmptyColumnHasZeroStatistics)
{
    auto ds = sample({{std::nullopt}}, {1});
    EXPECT_EQ(ds->getMean(0), 0.0);
    EXPECT_EQ(ds->getVariance(0), 0.0);
    EXPECT_EQ(ds->getShare(0, 1), 0.0);
}

TEST_F(DatasetStatisticsTest, ModeTiesKeepTheValueMetFirst)
{
    auto ds = sample({{0}, {0}, {0}, {0}}, {2, 1, 1, 2});
    EXPECT_EQ(static_cast<CInteger&>(*ds->getMode(1)).getValue(), 2);
    auto classes = ds->getClasses();
    EXPECT_EQ(classes->toLine(), "2; 1; ");
    EXPECT_EQ(classes->elementAt(0), ds->getOutValue(0));
    EXPECT_EQ(ds->getShare(1, 1), 0.5);
}

TEST_F(DatasetStatisticsTest, NonNumericInputCellIsAClearError)
{
    auto ds = sample({{1.0}}, {1});
    ds->getDataModel()->setValue(std::make_shared<CString>("abc"), 0, 0);
    try {
        ds->getMean(0);
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_NE(e.message.find("X1"), std::string::npos);
    }
}

class DatasetFillTest : public ::testing::Test {};

TEST_F(DatasetFillTest, SubsampleFillsOnlyItsOwnRowsWithItsOwnMean)
{
    auto ds = sample({{1.0}, {std::nullopt}, {10.0}, {std::nullopt}, {3.0}}, {1, 1, 2, 2, 1});
    auto mask = std::make_shared<Vector>();
    for (int c : {1, 1, 2, 2, 1})
        mask->add(c == 1 ? nullptr : integer(1));
    auto sub = ds->copy();
    sub->setMask(mask);
    sub->fillNulls();
    EXPECT_EQ(ds->getDataModel()->getRow(1).getDouble(0), 2.0);
    EXPECT_EQ(ds->getDataModel()->getValue(3, 0), nullptr);
    EXPECT_EQ(ds->getDataModel()->getValue(2, 1)->toString(), "2");
}

TEST_F(DatasetFillTest, CodedColumnsTakeTheModeAndAllMissingTakesZero)
{
    auto ds = sample({{0}, {0}, {0}, {0}, {0}}, {0, 0, 0, 0, 0});
    auto& m = *ds->getDataModel();
    int values[] = {2, 1, 1, 2};
    for (int i = 0; i < 4; ++i)
        m.setValue(integer(values[i]), i, 0);
    m.setValue(nullptr, 4, 0);
    ds->getColumnTypes()->set(0, integer(3));
    ds->fillNulls();
    EXPECT_EQ(m.getRow(4).getInt(0), 2);

    auto empty = sample({{std::nullopt}, {std::nullopt}}, {1, 1});
    empty->fillNulls();
    EXPECT_EQ(empty->getDataModel()->getRow(0).getDouble(0), 0.0);
    EXPECT_EQ(empty->getDataModel()->getValue(0, 0), empty->getDataModel()->getValue(1, 0));
}

TEST_F(DatasetFillTest, OutputColumnIsNeverFilled)
{
    auto ds = sample({{1.0}, {2.0}}, {1, 1});
    ds->getDataModel()->setValue(nullptr, 0, 1);
    ds->fillNulls();
    EXPECT_EQ(ds->getDataModel()->getValue(0, 1), nullptr);
}

TEST_F(DatasetFillTest, UnfillableTypeIsAnErrorOnlyWhenSomethingIsMissing)
{
    auto ds = sample({{1.0}, {2.0}}, {1, 1});
    ds->getColumnTypes()->set(0, integer(10));
    EXPECT_NO_THROW(ds->fillNulls());
    ds->getDataModel()->setValue(nullptr, 1, 0);
    try {
        ds->fillNulls();
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "Dataset.fillNulls()");
        EXPECT_EQ(e.message, " Неизвестный тип колонки \"X1\"");
    }
}

class DatasetTextTest : public ::testing::Test {};

TEST_F(DatasetTextTest, FullTextShowsOutputsAndMask)
{
    auto ds = sample({{1.5}}, {1});
    ds->getDataModel()->setValue(integer(2), 0, 1);
    EXPECT_EQ(ds->toString(),
              " | X1           | CLASS        | Y            | D            | \n"
              " | 1.50         | 2            | 1            | null         | \n");
    ds->setMask(nullptr);
    ds->setOutValues(nullptr);
    EXPECT_EQ(ds->toString(), " | X1           | CLASS        | \n | 1.50         | 2            | \n");
}

TEST_F(DatasetTextTest, ShortText)
{
    auto model = std::make_shared<DataModel>();
    auto names = Vector::range(1, 3);
    model->setColumnNames(names);
    EXPECT_EQ(Dataset(model).toShortString(), "(0, 3)");
}

TEST_F(DatasetTextTest, CopySharesCloneDoesNot)
{
    auto ds = sample({{1.0}}, {1});
    auto shallow = ds->copy();
    EXPECT_EQ(shallow->getDataModel(), ds->getDataModel());
    EXPECT_EQ(shallow->getMask(), ds->getMask());
    auto deep = std::static_pointer_cast<Dataset>(ds->clone());
    EXPECT_NE(deep->getDataModel(), ds->getDataModel());
    EXPECT_EQ(deep->toString(), ds->toString());
    ds->setMask(nullptr);
    auto noMask = std::static_pointer_cast<Dataset>(ds->clone());
    EXPECT_EQ(noMask->getMask(), nullptr);
}

}  // namespace
