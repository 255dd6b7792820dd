#pragma once
// A progress bar that shows nothing and remembers what it was told, for tests of the code
// that drives the bar. The range fields (min, max, step, position) behave as on screen.

#include <string>
#include <vector>

#include "core/ProgBar.h"

class RecordingBar : public TBar, public BarRange {
public:
    void Show() override { ++showCount; }
    void SetText(const std::string& text) override { texts.push_back(text); }
    void SetMin(int value) override { setMin(value); }
    void SetMax(int value) override { setMax(value); }
    void SetStep(int value) override { setStep(value); }
    void StepIt() override
    {
        stepIt();
        ++stepCount;
    }

    std::vector<std::string> texts;
    int stepCount = 0;
    int showCount = 0;
};
