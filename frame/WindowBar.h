#pragma once
// The progress window: a small window with the stage text and a bar, repainted on every
// change because no message loop runs. When the display breaks, the console takes over.

#include <chrono>
#include <memory>
#include <string>

#include "core/ProgBar.h"
#include "frame/ConsoleBar.h"

class XDisplay;

class WindowBar : public TBar {
public:
    // The window's caption and first text (cp1251).
    static const char* const caption;

    // Builds the window, not yet shown, on a display that outlives it.
    explicit WindowBar(const XDisplay& display);
    WindowBar(const WindowBar&) = delete;
    WindowBar& operator=(const WindowBar&) = delete;
    ~WindowBar() override;

    // Shows the window and waits until it is first exposed; until then nothing paints.
    void Show() override;
    void SetText(const std::string& text) override;
    void SetMin(int value) override;
    void SetMax(int value) override;
    void SetStep(int value) override;
    void StepIt() override;

    // Whether the window is on the screen (shown, and its display still there).
    bool visible() const;

private:
    struct Widgets;

    void repaint();

    const XDisplay& display;
    // The console that may take over counts the run's time from here.
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::unique_ptr<Widgets> widgets;
    std::string text;
    BarRange range;
    std::unique_ptr<ConsoleBar> console;
};
