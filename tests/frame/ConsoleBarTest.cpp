// The progress bar on the console: plain lines for a log, one line in place on a terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "frame/ConsoleBar.h"
#include "runtime/Runtime.h"

namespace {

using namespace std::chrono_literals;

std::string u8s(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

std::string cells(int filled)
{
    std::string s;
    for (int i = 0; i < 30; ++i)
        s += i < filled ? u8s(u8"█") : u8s(u8"░");
    return s;
}

class ConsoleBarTest : public testing::Test {
protected:
    ConsoleBarTest() : stream(open_memstream(&buffer, &size)) {}
    ~ConsoleBarTest() override
    {
        std::fclose(stream);
        std::free(buffer);
    }

    // Everything written so far.
    std::string output()
    {
        std::fflush(stream);
        return std::string(buffer, size);
    }

    std::string lastLine()
    {
        std::string all = output();
        size_t start = all.rfind('\n', all.size() - 2);
        return all.substr(start == std::string::npos ? 0 : start + 1);
    }

    void searchRange(TBar& bar)
    {
        bar.SetMin(10);
        bar.SetMax(3000);
        bar.SetStep(10);
    }

    // The bar's time is the test's: it moves only when the test moves it.
    ConsoleBar::Clock clock()
    {
        return [this] { return now; };
    }

    std::unique_ptr<ConsoleBar> plain() { return std::make_unique<ConsoleBar>(stream, false, clock()); }
    std::unique_ptr<ConsoleBar> terminal() { return std::make_unique<ConsoleBar>(stream, true, clock()); }

    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream;
    std::chrono::steady_clock::time_point now{};
};

TEST_F(ConsoleBarTest, PlainOutputIsOneUtf8LinePerText)
{
    auto bar = plain();
    bar->SetText("Открытие...");
    bar->SetText("Загрузка данных...");
    EXPECT_EQ(output(), u8s(u8"Открытие...\nЗагрузка данных...\n"));
}

TEST_F(ConsoleBarTest, PlainOutputIgnoresTheStepsOfAShortStage)
{
    auto bar = plain();
    bar->SetText("Оптимизация модели...");
    std::string before = output();
    searchRange(*bar);
    for (int i = 0; i < 300; ++i) {
        now += 99ms;
        bar->StepIt();
    }
    EXPECT_EQ(output(), before);
}

TEST_F(ConsoleBarTest, PlainOutputOfALongStageAddsALineEveryHalfMinute)
{
    auto bar = plain();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    std::string before = output();
    for (int i = 0; i < 300; ++i) {
        now += 3s;
        bar->StepIt();
    }
    std::string added = output().substr(before.size());
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 900 / 30);
    EXPECT_EQ(added.substr(0, added.find('\n') + 1), u8s(u8"Оптимизация модели... 3%, 0:30, осталось ~14:27\n"));
}

TEST_F(ConsoleBarTest, PlainOutputStartsTheLinesAfreshWithEachStage)
{
    auto bar = plain();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    now += 29s;
    bar->StepIt();
    bar->SetText("Расчет выхода модели...");
    now += 29s;
    bar->StepIt();
    EXPECT_EQ(output(), u8s(u8"Оптимизация модели...\nРасчет выхода модели...\n"));
}

TEST_F(ConsoleBarTest, PlainOutputShowsTheCaptionFirst)
{
    auto bar = plain();
    bar->Show();
    bar->SetText("Открытие...");
    EXPECT_EQ(output(), u8s(u8"Анализ данных\nОткрытие...\n"));
}

TEST_F(ConsoleBarTest, TerminalShowsTheCaptionAsTheFirstText)
{
    auto bar = terminal();
    bar->Show();
    EXPECT_EQ(output(), "\r" + u8s(u8"Анализ данных") + " [" + cells(0) + "] 0%, 0:00\x1b[K\n");
}

TEST_F(ConsoleBarTest, TerminalDrawsTextBarPercentageAndTime)
{
    auto bar = terminal();
    EXPECT_EQ(output(), "");
    now += 75s;
    bar->SetText("Открытие...");
    EXPECT_EQ(output(), "\r" + u8s(u8"Открытие...") + " [" + cells(0) + "] 0%, 1:15\x1b[K\n");
}

TEST_F(ConsoleBarTest, TerminalRewritesTheLineAboveInPlace)
{
    auto bar = terminal();
    bar->SetText("Открытие...");
    std::string first = output();
    bar->SetText("Загрузка данных...");
    EXPECT_EQ(output().substr(first.size()),
              "\x1b[A\r" + u8s(u8"Загрузка данных...") + " [" + cells(0) + "] 0%, 0:00\x1b[K\n");
}

TEST_F(ConsoleBarTest, TerminalWritesOnlyWhenTheLineChanges)
{
    auto bar = terminal();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    now += 300ms;
    bar->StepIt();
    std::string before = output();
    now += 300ms;
    bar->StepIt();  // 20 of 2990 at the same pace: 0 %, no cell, the same times
    EXPECT_EQ(output(), before);
    for (int i = 0; i < 30; ++i) {
        now += 300ms;
        bar->StepIt();
    }
    EXPECT_NE(output(), before);
}

TEST_F(ConsoleBarTest, TerminalRedrawsAtMostFourTimesASecond)
{
    auto bar = terminal();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    std::string before = output();
    for (int i = 0; i < 200; ++i) {
        now += 10ms;
        bar->StepIt();
    }
    std::string added = output().substr(before.size());
    EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 2000 / 250);
}

TEST_F(ConsoleBarTest, TerminalEstimatesTheTimeLeftFromTheStagesPace)
{
    now += 20s;
    auto bar = terminal();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    for (int i = 0; i < 149; ++i)
        bar->StepIt();
    now += 60s;
    bar->StepIt();
    EXPECT_EQ(lastLine(), "\x1b[A\r" + u8s(u8"Оптимизация модели...") + " [" + cells(15) +
                              u8s(u8"] 50%, 1:00, осталось ~1:00\x1b[K\n"));
}

TEST_F(ConsoleBarTest, TerminalEndsFullAfterTheSearchOverflows)
{
    auto bar = terminal();
    bar->SetText("Оптимизация модели...");
    searchRange(*bar);
    for (int i = 0; i < 150; ++i) {
        now += 1s;
        bar->StepIt();
    }
    std::string half = " [" + cells(15) + u8s(u8"] 50%, 2:30, осталось ~2:29\x1b[K\n");
    EXPECT_EQ(lastLine().substr(lastLine().size() - half.size()), half);
    for (int i = 0; i < 150; ++i)
        bar->StepIt();
    std::string full = " [" + cells(30) + "] 100%, 2:30\x1b[K\n";
    EXPECT_EQ(lastLine().substr(lastLine().size() - full.size()), full);
}

TEST(ConsoleDurationTest, MinutesAndSecondsThenHours)
{
    EXPECT_EQ(ConsoleBar::duration(std::chrono::seconds(0)), "0:00");
    EXPECT_EQ(ConsoleBar::duration(std::chrono::milliseconds(59999)), "0:59");
    EXPECT_EQ(ConsoleBar::duration(std::chrono::seconds(600)), "10:00");
    EXPECT_EQ(ConsoleBar::duration(std::chrono::seconds(3600 + 62)), "1:01:02");
}

TEST_F(ConsoleBarTest, TakingOverShowsTheCurrentTextAndPosition)
{
    BarRange range;
    range.setMin(10);
    range.setMax(3000);
    range.setStep(10);
    for (int i = 0; i < 300; ++i)
        range.stepIt();
    ConsoleBar terminal(stream, true, "Оптимизация модели...", range, clock());
    EXPECT_EQ(output(), "\r" + u8s(u8"Оптимизация модели...") + " [" + cells(30) + "] 100%, 0:00\x1b[K\n");
}

TEST_F(ConsoleBarTest, TakingOverInPlainOutputRepeatsTheText)
{
    ConsoleBar plain(stream, false, "Загрузка данных...", BarRange{}, clock());
    EXPECT_EQ(output(), u8s(u8"Загрузка данных...\n"));
}

TEST_F(ConsoleBarTest, TakingOverBeforeAnyTextPrintsNothingInPlainOutput)
{
    ConsoleBar plain(stream, false, "", BarRange{}, clock());
    EXPECT_EQ(output(), "");
}

TEST_F(ConsoleBarTest, TakingOverCountsTheTimeFromTheStartOfTheRun)
{
    now += 200s;
    ConsoleBar terminal(stream, true, "Расчет выхода модели...", BarRange{}, clock(), now - 90s);
    EXPECT_EQ(output(), "\r" + u8s(u8"Расчет выхода модели...") + " [" + cells(0) + "] 0%, 1:30\x1b[K\n");
}

TEST_F(ConsoleBarTest, TakingOverDoesNotShowTheCaptionAgain)
{
    ConsoleBar plain(stream, false, "Загрузка данных...", BarRange{}, clock());
    plain.Show();
    EXPECT_EQ(output(), u8s(u8"Загрузка данных...\n"));
}

}  // namespace
