#include "frame/XDisplay.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "runtime/Runtime.h"

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

// Xlib offers no timeout on a call that waits for the server. Shutting the socket down
// from another thread wakes the waiting call with the end of the connection, which Xlib
// reports through the handlers above like a server that went away. The watchdog shuts
// down a descriptor of its own for the socket: Xlib's may be closed at the very moment
// the deadline runs out, and its number may then already belong to a database socket.
class XDisplay::Watchdog {
public:
    explicit Watchdog(int xlibConnection) : connection(fcntl(xlibConnection, F_DUPFD_CLOEXEC, 3))
    {
        if (connection < 0)
            throw Exception("Cannot watch the display's connection: " + std::string(std::strerror(errno)));
        // The process's signals are the run's business; the thread takes none of them.
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        thread = std::thread([this] { watch(); });
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog()
    {
        {
            std::lock_guard lock(mutex);
            ending = true;
        }
        changed.notify_one();
        thread.join();
        close(connection);
    }

    void enter()
    {
        {
            std::lock_guard lock(mutex);
            ++depth;
            deadline = std::chrono::steady_clock::now() + roundTripLimit;
        }
        changed.notify_one();
    }

    void leave()
    {
        {
            std::lock_guard lock(mutex);
            --depth;
            deadline = std::chrono::steady_clock::now() + roundTripLimit;
        }
        changed.notify_one();
    }

    bool fired() const { return gaveUp.load(); }

private:
    void watch()
    {
        std::unique_lock lock(mutex);
        while (!ending) {
            if (depth == 0 || gaveUp.load()) {
                changed.wait(lock);
            } else if (std::chrono::steady_clock::now() < deadline) {
                changed.wait_until(lock, deadline);
            } else {
                gaveUp = true;
                shutdown(connection, SHUT_RDWR);
            }
        }
    }

    const int connection;
    std::mutex mutex;
    std::condition_variable changed;
    int depth = 0;
    std::chrono::steady_clock::time_point deadline;
    bool ending = false;
    std::atomic<bool> gaveUp{false};
    std::thread thread;
};

XDisplay::Deadline::Deadline(const XDisplay& display) : display(display)
{
    display.watchdog->enter();
}

XDisplay::Deadline::~Deadline()
{
    display.watchdog->leave();
}

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
    try {
        watchdog = std::make_unique<Watchdog>(ConnectionNumber(display));
    } catch (const Exception&) {
        XCloseDisplay(display);
        XSetErrorHandler(nullptr);
        XSetIOErrorHandler(nullptr);
        throw;
    }
    fl_open_display(display);
}

XDisplay::~XDisplay()
{
    {
        Deadline closing(*this);
        fl_close_display();
    }
    watchdog.reset();
    fl_display = nullptr;
    XSetErrorHandler(nullptr);
    XSetIOErrorHandler(nullptr);
}

bool XDisplay::lost() const
{
    return connectionLost || watchdog->fired();
}

void XDisplay::sync() const
{
    Deadline roundTrip(*this);
    if (!lost())
        XSync(fl_display, False);
}
