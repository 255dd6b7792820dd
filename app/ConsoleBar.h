#pragma once
// The progress bar on the console (UTF-8), for runs without a usable display.

#include <cstdio>
#include <memory>
#include <string>

#include "app/ProgBar.h"

class ConsoleBar : public TBar {
public:
    // On a terminal the stage text, a bar and a percentage share one line that is rewritten
    // in place; elsewhere (a log file, a pipe) each stage text is one line and steps print
    // nothing.
    ConsoleBar(std::FILE* out, bool terminal);
    // Goes on with a bar that was shown somewhere else so far: shows its text (and, on a
    // terminal, its position) at once.
    ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range);

    // On stderr, rewriting in place when stderr is a terminal.
    static std::unique_ptr<ConsoleBar> onStderr(const std::string& text = std::string(), const BarRange& range = {});

    void SetText(const std::string& text) override;
    void SetMin(int value) override { range.setMin(value); }
    void SetMax(int value) override { range.setMax(value); }
    void SetStep(int value) override { range.setStep(value); }
    void StepIt() override;

private:
    void drawLine();

    std::FILE* out;
    bool terminal;
    std::string text;  // cp1251
    BarRange range;
    std::string shownLine;
};
