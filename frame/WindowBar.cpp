#include "frame/WindowBar.h"

// Fl_X, the X side of a window, tells whether the window has been exposed yet.
#define FL_INTERNALS
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Progress.H>
#include <FL/x.H>
#include <chrono>

#include "frame/XDisplay.h"
#include "runtime/Runtime.h"

const char* const WindowBar::caption = progressCaption;

namespace {

// The classic dialog of 348 x 103 pixels with its frame and title bar: what is left
// inside them. The window manager adds its own frame around this.
constexpr int kLeft = 268, kTop = 191, kWidth = 340, kHeight = 76;
constexpr auto kExposeWait = std::chrono::seconds(5);

}  // namespace

// Declared in this order so that the children go before the window that holds them.
struct WindowBar::Widgets {
    Fl_Double_Window window{kLeft, kTop, kWidth, kHeight};
    // Wide enough for the longest stage text; the opaque box lets a shorter text paint
    // over a longer one.
    Fl_Box label{8, 16, kWidth - 16, 16};
    Fl_Progress bar{8, 40, 321, 17};

    Widgets()
    {
        window.end();
        window.copy_label(Cp1251ToUtf8(caption).c_str());
        window.size_range(kWidth, kHeight, kWidth, kHeight);
        // The window takes no input; a close request must not hide it while an error
        // box runs its own event loop.
        window.callback([](Fl_Widget*, void*) {});

        label.box(FL_FLAT_BOX);
        label.align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
        label.labelfont(FL_HELVETICA);
        label.labelsize(13);
        label.copy_label(Cp1251ToUtf8(caption).c_str());

        bar.box(FL_THIN_DOWN_BOX);
        bar.color(FL_BACKGROUND_COLOR);
        bar.selection_color(fl_rgb_color(0, 0, 128));
        bar.minimum(0.0f);
        bar.maximum(1.0f);
        bar.value(0.0f);
    }
};

WindowBar::WindowBar(const XDisplay& display) : display(display), widgets(std::make_unique<Widgets>()) {}

// Taking the window down talks to the server as well.
WindowBar::~WindowBar()
{
    XDisplay::Deadline closing(display);
    widgets.reset();
}

void WindowBar::Show()
{
    Fl_Double_Window& window = widgets->window;
    {
        XDisplay::Deadline showing(display);
        window.show();
        display.sync();
    }
    // Fl_Window::wait_for_expose() would wait forever for a window that never gets mapped
    // or a display that breaks meanwhile.
    auto deadline = std::chrono::steady_clock::now() + kExposeWait;
    while (!display.lost() && window.shown() && Fl_X::i(&window) && Fl_X::i(&window)->wait_for_expose &&
           std::chrono::steady_clock::now() < deadline) {
        XDisplay::Deadline waiting(display);
        Fl::wait(0.05);
    }
    repaint();
}

void WindowBar::SetText(const std::string& newText)
{
    if (console)
        return console->SetText(newText);
    text = newText;
    widgets->label.copy_label(Cp1251ToUtf8(text).c_str());
    repaint();
}

void WindowBar::SetMin(int value)
{
    if (console)
        return console->SetMin(value);
    range.setMin(value);
    widgets->bar.value(static_cast<float>(range.fraction()));
}

void WindowBar::SetMax(int value)
{
    if (console)
        return console->SetMax(value);
    range.setMax(value);
    widgets->bar.value(static_cast<float>(range.fraction()));
}

void WindowBar::SetStep(int value)
{
    if (console)
        return console->SetStep(value);
    range.setStep(value);
}

void WindowBar::StepIt()
{
    if (console)
        return console->StepIt();
    range.stepIt();
    widgets->bar.value(static_cast<float>(range.fraction()));
    repaint();
}

bool WindowBar::visible() const
{
    return !console && !display.lost() && widgets->window.shown();
}

void WindowBar::repaint()
{
    if (!display.lost()) {
        XDisplay::Deadline painting(display);
        widgets->window.redraw();
        Fl::flush();
        display.sync();
    }
    if (display.lost())
        console = ConsoleBar::onStderr(text, range, started);
}
