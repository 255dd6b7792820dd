#pragma once
// The application object of the entry: decides where the progress bar appears, owns it,
// and shows errors to the user.

#include <memory>
#include <string>

#include "core/ProgBar.h"
#include "runtime/Runtime.h"

class WindowBar;
class XDisplay;

class TApplication {
public:
    TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;
    ~TApplication();

    // Opens the X display when the progress window can be shown: DISPLAY names one that
    // answers within a few seconds and the console is not forced. Otherwise the console
    // serves.
    void Initialize(bool consoleForced);
    // The progress bar, owned by the application: a window on the display, or the console.
    TBar* CreateForm();
    // Writes the text to stderr (UTF-8); with the window on the screen, also shows it in a
    // modal message box.
    void ShowException(const Exception& error);
    // Closes the progress bar; the entry returns afterwards.
    void Terminate();

    // Whether Initialize found a display to use.
    bool hasDisplay() const { return display != nullptr; }

    // The error text as the message box wants it: UTF-8 with every "@" doubled, since
    // FLTK reads "@" in a label as the start of a symbol.
    static std::string alertText(const std::string& text);
    // The message box's only button, in place of FLTK's English "Close".
    static constexpr const char* alertButton = "OK";

private:
    std::unique_ptr<XDisplay> display;
    std::unique_ptr<TBar> form;
    WindowBar* window = nullptr;
};
