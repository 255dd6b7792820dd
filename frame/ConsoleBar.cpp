#include "frame/ConsoleBar.h"

#include <cmath>
#include <unistd.h>

#include "runtime/Runtime.h"

namespace {

constexpr int kCells = 30;

std::string utf8(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

std::string twoDigits(long long value)
{
    return (value < 10 ? "0" : "") + std::to_string(value);
}

}  // namespace

ConsoleBar::ConsoleBar(std::FILE* out, bool terminal, Clock clock)
    : out(out), terminal(terminal), clock(std::move(clock)), started(this->clock()), stageStarted(started),
      lastDrawn(started), lastPlainLine(started)
{
}

ConsoleBar::ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range, Clock clock)
    : ConsoleBar(out, terminal, text, range, clock, clock())
{
}

ConsoleBar::ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range, Clock clock,
                       std::chrono::steady_clock::time_point runStarted)
    : ConsoleBar(out, terminal, std::move(clock))
{
    started = runStarted;
    this->text = text;
    this->range = range;
    startStage();
    if (terminal)
        drawLine(stageStarted);
    else if (!text.empty())
        std::fputs((Cp1251ToUtf8(text) + "\n").c_str(), out);
    std::fflush(out);
}

std::unique_ptr<ConsoleBar> ConsoleBar::onStderr(const std::string& text, const BarRange& range,
                                                 std::chrono::steady_clock::time_point runStarted)
{
    return std::make_unique<ConsoleBar>(stderr, isatty(STDERR_FILENO) == 1, text, range,
                                        std::chrono::steady_clock::now, runStarted);
}

void ConsoleBar::Show()
{
    if (!text.empty() || !shownLine.empty())
        return;
    SetText(progressCaption);
}

void ConsoleBar::SetText(const std::string& newText)
{
    text = newText;
    startStage();
    if (terminal)
        drawLine(clock());
    else
        std::fputs((Cp1251ToUtf8(text) + "\n").c_str(), out);
    std::fflush(out);
}

void ConsoleBar::SetMin(int value)
{
    range.setMin(value);
    startStage();
}

void ConsoleBar::SetMax(int value)
{
    range.setMax(value);
    startStage();
}

void ConsoleBar::StepIt()
{
    range.stepIt();
    const TimePoint now = clock();
    if (terminal) {
        // The bar's last step is always shown, so that a finished stage never stays short
        // of full on the screen.
        if (now - lastDrawn >= redrawInterval || range.fraction() >= 1.0) {
            drawLine(now);
            std::fflush(out);
        }
    } else if (now - stageStarted >= plainInterval && now - lastPlainLine >= plainInterval) {
        std::fputs((Cp1251ToUtf8(text) + " " + progressText(now) + "\n").c_str(), out);
        std::fflush(out);
        lastPlainLine = now;
    }
}

std::string ConsoleBar::duration(std::chrono::steady_clock::duration time)
{
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(time).count();
    if (seconds < 3600)
        return std::to_string(seconds / 60) + ":" + twoDigits(seconds % 60);
    return std::to_string(seconds / 3600) + ":" + twoDigits(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
}

// A stage (a new text or a new range) measures its pace from where the bar stands now.
void ConsoleBar::startStage()
{
    stageStarted = clock();
    stageStartFraction = range.fraction();
    lastPlainLine = stageStarted;
}

std::string ConsoleBar::progressText(TimePoint now) const
{
    const double fraction = range.fraction();
    std::string line = std::to_string(static_cast<int>(fraction * 100)) + "%, " + duration(now - started);
    const double done = fraction - stageStartFraction;
    if (done > 0.0 && fraction < 1.0) {
        const double spent = std::chrono::duration<double>(now - stageStarted).count();
        const auto left = std::chrono::seconds(std::llround(spent * (1.0 - fraction) / done));
        line += utf8(u8", осталось ~") + duration(left);
    }
    return line;
}

// The cursor is left at the start of the next line, so that whatever else is written to
// the terminal (an error text) starts on a line of its own and leaves the bar readable;
// the next redraw moves up one line first.
void ConsoleBar::drawLine(TimePoint now)
{
    lastDrawn = now;
    int filled = static_cast<int>(range.fraction() * kCells);
    std::string line = Cp1251ToUtf8(text);
    if (!line.empty())
        line += " ";
    line += "[";
    for (int i = 0; i < kCells; ++i)
        line += i < filled ? utf8(u8"█") : utf8(u8"░");
    line += "] " + progressText(now);
    if (line == shownLine)
        return;
    std::string out8 = shownLine.empty() ? "\r" : "\x1b[A\r";
    out8 += line + "\x1b[K\n";
    std::fputs(out8.c_str(), out);
    shownLine = line;
}
