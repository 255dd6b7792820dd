#pragma once
// The progress bar on the console (UTF-8), for runs without a usable display. Unlike the
// window it tells the time: how long the run has taken and, while a stage advances the
// bar, about how long the stage still needs.

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "core/ProgBar.h"

class ConsoleBar : public TBar {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // A terminal gets one line that is rewritten in place: the stage text, a bar, the
    // percentage, the time taken and the time left; a step redraws it at most every
    // redrawInterval. Elsewhere (a log file, a pipe) each stage text is one line, and a
    // stage that advances the bar adds a line with its percentage and times once it has
    // run for plainInterval, and then at most every plainInterval.
    static constexpr std::chrono::milliseconds redrawInterval{250};
    static constexpr std::chrono::seconds plainInterval{30};

    ConsoleBar(std::FILE* out, bool terminal, Clock clock = std::chrono::steady_clock::now);
    // Goes on with a bar that was shown somewhere else so far, since runStarted: shows its
    // text (and, on a terminal, its position) at once.
    ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range, Clock clock,
               std::chrono::steady_clock::time_point runStarted);
    ConsoleBar(std::FILE* out, bool terminal, const std::string& text, const BarRange& range,
               Clock clock = std::chrono::steady_clock::now);

    // On stderr, rewriting in place when stderr is a terminal.
    static std::unique_ptr<ConsoleBar> onStderr(
        const std::string& text = std::string(), const BarRange& range = {},
        std::chrono::steady_clock::time_point runStarted = std::chrono::steady_clock::now());

    // Shows the caption, as the window does before the first stage text.
    void Show() override;
    void SetText(const std::string& text) override;
    void SetMin(int value) override;
    void SetMax(int value) override;
    void SetStep(int value) override { range.setStep(value); }
    void StepIt() override;

    // "m:ss", or "h:mm:ss" from an hour on.
    static std::string duration(std::chrono::steady_clock::duration time);

private:
    using TimePoint = std::chrono::steady_clock::time_point;

    void startStage();
    // "43%, 0:12, осталось ~0:16" (UTF-8); the time left only once the stage has moved.
    std::string progressText(TimePoint now) const;
    void drawLine(TimePoint now);

    std::FILE* out;
    bool terminal;
    Clock clock;
    std::string text;  // cp1251
    BarRange range;
    std::string shownLine;
    TimePoint started;
    TimePoint stageStarted;
    double stageStartFraction = 0.0;
    TimePoint lastDrawn;
    TimePoint lastPlainLine;
};
