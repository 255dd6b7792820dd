// The position of the progress bar within its range, and the recording bar that tests of
// the search rely on.

#include <gtest/gtest.h>

#include <climits>

#include "core/ProgBar.h"
#include "tests/support/RecordingBar.h"

namespace {

class BarRangeTest : public testing::Test {
protected:
    // What the search does: its c range and step times 1000.
    void setSearchRange()
    {
        range.setMin(10);
        range.setMax(3000);
        range.setStep(10);
    }

    BarRange range;
};

TEST_F(BarRangeTest, StartsWithTheStoredRange)
{
    EXPECT_EQ(range.min, 0);
    EXPECT_EQ(range.max, 100);
    EXPECT_EQ(range.step, 10);
    EXPECT_EQ(range.position, 0);
    EXPECT_EQ(range.fraction(), 0.0);
}

TEST_F(BarRangeTest, StepsByTenthsInTheStoredRange)
{
    for (int i = 0; i < 5; ++i)
        range.stepIt();
    EXPECT_EQ(range.position, 50);
    EXPECT_DOUBLE_EQ(range.fraction(), 0.5);
}

TEST_F(BarRangeTest, RaisingTheMinimumPullsThePositionAlong)
{
    setSearchRange();
    EXPECT_EQ(range.position, 10);
    EXPECT_EQ(range.fraction(), 0.0);
}

TEST_F(BarRangeTest, SearchEndsFullInsteadOfStartingOver)
{
    setSearchRange();
    int previous = range.position;
    for (int i = 1; i <= 300; ++i) {
        range.stepIt();
        ASSERT_GE(range.position, previous) << "step " << i;
        previous = range.position;
        if (i == 150) {
            EXPECT_EQ(range.position, 1510);
        }
    }
    EXPECT_EQ(range.position, 3000);
    EXPECT_DOUBLE_EQ(range.fraction(), 1.0);
}

TEST_F(BarRangeTest, LoweringTheMaximumBelowThePositionKeepsTheBarFull)
{
    for (int i = 0; i < 8; ++i)
        range.stepIt();
    range.setMax(50);
    EXPECT_EQ(range.position, 50);
    EXPECT_DOUBLE_EQ(range.fraction(), 1.0);
}

TEST_F(BarRangeTest, NegativeStepStopsAtTheMinimum)
{
    range.stepIt();
    range.setStep(-25);
    range.stepIt();
    EXPECT_EQ(range.position, 0);
}

TEST_F(BarRangeTest, EmptyOrInvertedRangeShowsAnEmptyBar)
{
    range.setMin(100);
    EXPECT_EQ(range.fraction(), 0.0);
    range.setMin(200);
    range.stepIt();
    EXPECT_EQ(range.position, 200);
    EXPECT_EQ(range.fraction(), 0.0);
}

TEST_F(BarRangeTest, HugeStepsDoNotOverflow)
{
    range.setMax(INT_MAX);
    range.setStep(INT_MAX);
    range.stepIt();
    range.stepIt();
    EXPECT_EQ(range.position, INT_MAX);
    range.setMin(INT_MIN);
    range.setStep(INT_MIN);
    range.stepIt();
    range.stepIt();
    EXPECT_EQ(range.position, INT_MIN);
}

class RecordingBarTest : public testing::Test {
protected:
    RecordingBar recording;
    TBar& bar = recording;
};

TEST_F(RecordingBarTest, RemembersTextsInOrder)
{
    bar.SetText("Открытие...");
    bar.SetText("Загрузка данных...");
    EXPECT_EQ(recording.texts, (std::vector<std::string>{"Открытие...", "Загрузка данных..."}));
}

TEST_F(RecordingBarTest, CountsStepsAndKeepsThePositionAsOnScreen)
{
    bar.SetMin(10);
    bar.SetMax(3000);
    bar.SetStep(10);
    for (int i = 0; i < 300; ++i)
        bar.StepIt();
    EXPECT_EQ(recording.min, 10);
    EXPECT_EQ(recording.max, 3000);
    EXPECT_EQ(recording.step, 10);
    EXPECT_EQ(recording.stepCount, 300);
    EXPECT_EQ(recording.position, 3000);
    EXPECT_TRUE(recording.texts.empty());
}

}  // namespace
