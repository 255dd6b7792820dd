#include "app/XDisplay.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "app/Runtime.h"

namespace {

// Xlib's handlers are process-wide and know no object; there is one display per process.
bool connectionLost = false;

// A request the server refused (a window that is gone, say) costs that request only; the
// default handler would end the process.
int onProtocolError(Display* display, XErrorEvent* error)
{
    char text[256];
    XGetErrorText(display, error->error_code, text, sizeof text);
    std::fprintf(stderr, "X: %s (request %d)\n", text, static_cast<int>(error->request_code));
    return 0;
}

// Xlib calls this first and then the exit handler; Xlib's own versions of both end the
// process. Returning from both is allowed since libX11 1.8: the broken call returns, and
// later calls on the display return at once without touching the connection.
int onConnectionError(Display*)
{
    connectionLost = true;
    return 0;
}

void onConnectionExit(Display*, void*)
{
    connectionLost = true;
}

// An X server whose last client leaves resets itself and drops the connections that
// arrive meanwhile; on a server with no other clients (a virtual one, say) that is what
// the probe's own connection causes. A few short retries ride it out.
Display* openDisplay()
{
    for (int attempt = 1;; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        if (attempt == 5)
            return nullptr;
        usleep(100 * 1000);
    }
}

}  // namespace

bool XDisplay::answers(std::chrono::milliseconds timeout)
{
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0)
        return false;
    pid_t child = fork();
    if (child == -1) {
        close(channel[0]);
        close(channel[1]);
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        char opened = openDisplay() != nullptr ? 1 : 0;
        ssize_t written = write(channel[1], &opened, 1);
        _exit(written == 1 ? 0 : 1);
    }
    close(channel[1]);

    char opened = 0;
    bool answered = false;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd reply{channel[0], POLLIN, 0};
        int ready = poll(&reply, 1, static_cast<int>(left.count()));
        if (ready == -1 && errno == EINTR)
            continue;
        if (ready == 1)
            answered = read(channel[0], &opened, 1) == 1;
        if (ready != 0)
            break;
    }
    close(channel[0]);
    if (!answered)
        kill(child, SIGKILL);
    while (waitpid(child, nullptr, 0) == -1 && errno == EINTR) {
    }
    return answered && opened == 1;
}

XDisplay::XDisplay()
{
    XSetErrorHandler(onProtocolError);
    XSetIOErrorHandler(onConnectionError);
    Display* display = openDisplay();
    if (!display) {
        XSetErrorHandler(nullptr);
        XSetIOErrorHandler(nullptr);
        throw Exception("Cannot open display \"" + std::string(XDisplayName(nullptr)) + "\"");
    }
    XSetIOErrorExitHandler(display, onConnectionExit, nullptr);
    connectionLost = false;
    // A write to a server that has gone fails instead of raising SIGPIPE, which the entry
    // ignores from the start (prepareStandardStreams), so Xlib gets to report it.
    fl_open_display(display);
}

XDisplay::~XDisplay()
{
    fl_close_display();
    fl_display = nullptr;
    XSetErrorHandler(nullptr);
    XSetIOErrorHandler(nullptr);
}

bool XDisplay::lost() const
{
    return connectionLost;
}

void XDisplay::sync() const
{
    if (!connectionLost)
        XSync(fl_display, False);
}
