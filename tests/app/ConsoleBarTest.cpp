// The progress bar on the console: plain lines for a log, one line in place on a terminal.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "app/ConsoleBar.h"
#include "app/Runtime.h"

namespace {

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

    void searchRange(TBar& bar)
    {
        bar.SetMin(10);
        bar.SetMax(3000);
        bar.SetStep(10);
    }

    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* stream;
};

TEST_F(ConsoleBarTest, PlainOutputIsOneUtf8LinePerText)
{
    ConsoleBar bar(stream, false);
    bar.SetText("Открытие...");
    bar.SetText("Загрузка данных...");
    EXPECT_EQ(output(), u8s(u8"Открытие...\nЗагрузка данных...\n"));
}

TEST_F(ConsoleBarTest, PlainOutputIgnoresTheSteps)
{
    ConsoleBar bar(stream, false);
    bar.SetText("Оптимизация модели...");
    std::string before = output();
    searchRange(bar);
    for (int i = 0; i < 300; ++i)
        bar.StepIt();
    EXPECT_EQ(output(), before);
}

TEST_F(ConsoleBarTest, TerminalDrawsTextBarAndPercentage)
{
    ConsoleBar bar(stream, true);
    EXPECT_EQ(output(), "");
    bar.SetText("Открытие...");
    EXPECT_EQ(output(), "\r" + u8s(u8"Открытие...") + " [" + cells(0) + "] 0%\x1b[K\n");
}

TEST_F(ConsoleBarTest, TerminalRewritesTheLineAboveInPlace)
{
    ConsoleBar bar(stream, true);
    bar.SetText("Открытие...");
    std::string first = output();
    bar.SetText("Загрузка данных...");
    EXPECT_EQ(output().substr(first.size()),
              "\x1b[A\r" + u8s(u8"Загрузка данных...") + " [" + cells(0) + "] 0%\x1b[K\n");
}

TEST_F(ConsoleBarTest, TerminalWritesOnlyWhenTheLineChanges)
{
    ConsoleBar bar(stream, true);
    bar.SetText("Оптимизация модели...");
    searchRange(bar);
    std::string before = output();
    bar.StepIt();  // 10 of 2990: still 0 % and no cell
    EXPECT_EQ(output(), before);
    for (int i = 0; i < 3; ++i)
        bar.StepIt();
    EXPECT_NE(output(), before);
}

TEST_F(ConsoleBarTest, TerminalEndsFullAfterTheSearchOverflows)
{
    ConsoleBar bar(stream, true);
    bar.SetText("Оптимизация модели...");
    searchRange(bar);
    for (int i = 0; i < 150; ++i)
        bar.StepIt();
    std::string half = " [" + cells(15) + "] 50%\x1b[K\n";
    EXPECT_EQ(output().substr(output().size() - half.size()), half);
    for (int i = 0; i < 150; ++i)
        bar.StepIt();
    std::string full = " [" + cells(30) + "] 100%\x1b[K\n";
    EXPECT_EQ(output().substr(output().size() - full.size()), full);
}

TEST_F(ConsoleBarTest, TakingOverShowsTheCurrentTextAndPosition)
{
    BarRange range;
    range.setMin(10);
    range.setMax(3000);
    range.setStep(10);
    for (int i = 0; i < 300; ++i)
        range.stepIt();
    ConsoleBar terminal(stream, true, "Оптимизация модели...", range);
    EXPECT_EQ(output(), "\r" + u8s(u8"Оптимизация модели...") + " [" + cells(30) + "] 100%\x1b[K\n");
}

TEST_F(ConsoleBarTest, TakingOverInPlainOutputRepeatsTheText)
{
    ConsoleBar plain(stream, false, "Загрузка данных...", BarRange{});
    EXPECT_EQ(output(), u8s(u8"Загрузка данных...\n"));
}

TEST_F(ConsoleBarTest, TakingOverBeforeAnyTextPrintsNothingInPlainOutput)
{
    ConsoleBar plain(stream, false, "", BarRange{});
    EXPECT_EQ(output(), "");
}

}  // namespace
