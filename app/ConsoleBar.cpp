#include "app/ConsoleBar.h"

#include <unistd.h>

#include "app/Runtime.h"

namespace {

constexpr int kCells = 30;

std::string utf8(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

}  // namespace

ConsoleBar::ConsoleBar(std::FILE* out, bool terminal) : out(out), terminal(terminal) {}

ConsoleBar::ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range)
    : out(out), terminal(terminal), text(text), range(range)
{
    if (terminal)
        drawLine();
    else if (!text.empty())
        std::fputs((Cp1251ToUtf8(text) + "\n").c_str(), out);
    std::fflush(out);
}

std::unique_ptr<ConsoleBar> ConsoleBar::onStderr(const std::string& text, const BarRange& range)
{
    return std::make_unique<ConsoleBar>(stderr, isatty(STDERR_FILENO) == 1, text, range);
}

void ConsoleBar::SetText(const std::string& newText)
{
    text = newText;
    if (terminal)
        drawLine();
    else
        std::fputs((Cp1251ToUtf8(text) + "\n").c_str(), out);
    std::fflush(out);
}

void ConsoleBar::StepIt()
{
    range.stepIt();
    if (terminal) {
        drawLine();
        std::fflush(out);
    }
}

// The cursor is left at the start of the next line, so that whatever else is written to
// the terminal (an error text) starts on a line of its own and leaves the bar readable;
// the next redraw moves up one line first.
void ConsoleBar::drawLine()
{
    double fraction = range.fraction();
    int filled = static_cast<int>(fraction * kCells);
    std::string line = Cp1251ToUtf8(text);
    if (!line.empty())
        line += " ";
    line += "[";
    for (int i = 0; i < kCells; ++i)
        line += i < filled ? utf8(u8"█") : utf8(u8"░");
    line += "] " + std::to_string(static_cast<int>(fraction * 100)) + "%";
    if (line == shownLine)
        return;
    std::string out8 = shownLine.empty() ? "\r" : "\x1b[A\r";
    out8 += line + "\x1b[K\n";
    std::fputs(out8.c_str(), out);
    shownLine = line;
}
