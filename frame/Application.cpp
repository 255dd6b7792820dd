#include "frame/Application.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/Utils.h"
#include "frame/ConsoleBar.h"
#include "frame/WindowBar.h"
#include "frame/XDisplay.h"

namespace {

constexpr auto kDisplayTimeout = std::chrono::seconds(3);

bool displayNamed()
{
    const char* value = std::getenv("DISPLAY");
    return value && *value;
}

// The message box runs FLTK's event loop until it is closed; on a display that has gone
// nobody can close it, so it is taken down here.
void closeWindowsOnLostDisplay(void* display)
{
    if (static_cast<const XDisplay*>(display)->lost())
        while (Fl_Window* window = Fl::first_window())
            window->hide();
}

// Nor can anybody close it on a server that has stopped answering, and there the event
// loop has nothing to wake it: a round trip every second proves the server alive, or
// ends in the display's deadline and then in the check above.
constexpr double kHeartbeatSeconds = 1.0;

void heartbeat(void* display)
{
    static_cast<const XDisplay*>(display)->sync();
    Fl::repeat_timeout(kHeartbeatSeconds, heartbeat, display);
}

}  // namespace

TApplication::TApplication() = default;

TApplication::~TApplication() = default;

void TApplication::Initialize(bool consoleForced)
{
    if (consoleForced || !displayNamed() || !XDisplay::answers(kDisplayTimeout))
        return;
    try {
        display = std::make_unique<XDisplay>();
    } catch (const Exception&) {
        // The server went away between the probe and the connection: the console serves.
    }
}

TBar* TApplication::CreateForm()
{
    if (display) {
        auto bar = std::make_unique<WindowBar>(*display);
        window = bar.get();
        form = std::move(bar);
    } else {
        form = ConsoleBar::onStderr();
    }
    return form.get();
}

void TApplication::ShowException(const Exception& error)
{
    std::fputs((Cp1251ToUtf8(error.text()) + "\n").c_str(), stderr);
    std::fflush(stderr);
    if (!window || !window->visible())
        return;
    fl_message_title(Cp1251ToUtf8(WindowBar::caption).c_str());
    fl_close = alertButton;
    XDisplay::Deadline boxShown(*display);
    Fl::add_check(closeWindowsOnLostDisplay, display.get());
    Fl::add_timeout(kHeartbeatSeconds, heartbeat, display.get());
    fl_alert("%s", alertText(error.text()).c_str());
    Fl::remove_timeout(heartbeat, display.get());
    Fl::remove_check(closeWindowsOnLostDisplay, display.get());
}

void TApplication::Terminate()
{
    window = nullptr;
    form.reset();
}

std::string TApplication::alertText(const std::string& text)
{
    return Utils::replaceAll(Cp1251ToUtf8(text), "@", "@@");
}
