#pragma once
// The progress window of the run: a stage text and a bar. The run and the search drive
// it through TBar; where it appears (a window or the console) is the application's choice.

#include <string>

// Range, step and position of a progress bar. The position stays inside the range: a
// step past the maximum leaves the bar full rather than starting over, because the search
// steps once more than its range holds.
struct BarRange {
    int min = 0;
    int max = 100;
    int step = 10;
    int position = 0;

    void setMin(int value)
    {
        min = value;
        position = clamped(position);
    }
    void setMax(int value)
    {
        max = value;
        position = clamped(position);
    }
    void setStep(int value) { step = value; }
    void stepIt() { position = clamped(static_cast<long long>(position) + step); }

    // How much of the bar is filled, from 0 to 1; an empty or inverted range shows empty.
    double fraction() const
    {
        if (max <= min)
            return 0.0;
        return static_cast<double>(static_cast<long long>(position) - min) / (static_cast<long long>(max) - min);
    }

private:
    int clamped(long long value) const
    {
        if (max <= min)
            return min;
        return static_cast<int>(value < min ? min : value > max ? max : value);
    }
};

// The progress window's caption and first text, which the console shows first too (cp1251).
inline constexpr const char* progressCaption = "Анализ данных";

// Operations that take a TBar* accept null and then show nothing.
class TBar {
public:
    virtual ~TBar() = default;

    // Makes the bar visible with its initial text and returns at once.
    virtual void Show() {}
    // Shows the text (cp1251) at once.
    virtual void SetText(const std::string& text) = 0;
    virtual void SetMin(int value) = 0;
    virtual void SetMax(int value) = 0;
    virtual void SetStep(int value) = 0;
    // Advances by the step and shows the new position at once.
    virtual void StepIt() = 0;
};
