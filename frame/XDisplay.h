#pragma once
// The X display the progress window is drawn on, opened for FLTK. Plain FLTK ends the
// process when the display cannot be opened or breaks; here a broken connection is only
// recorded, so that the run can go on without the window. A server that stops answering
// (stopped, hung) is treated the same way: no call on the display may wait for it longer
// than roundTripLimit.

#include <chrono>
#include <memory>

class XDisplay {
public:
    // The longest a call on the display may wait for the server.
    static constexpr std::chrono::seconds roundTripLimit{3};

    // Whether the X server named by DISPLAY accepts a connection within the timeout. The
    // attempt runs in a child process, because connecting to a server that accepts but
    // never answers blocks without end.
    static bool answers(std::chrono::milliseconds timeout);

    // Opens DISPLAY and hands it to FLTK; raises Exception when it cannot be opened.
    XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;
    ~XDisplay();

    // Every call that may wait for the server (a flush, a round trip, FLTK's event loop)
    // runs inside one. Should the calls inside go on for longer than roundTripLimit since
    // the Deadline began or since the last sync() in it returned, the connection is shut
    // down from a watchdog thread: the waiting call returns as on a broken connection and
    // the display counts as lost. Deadlines nest.
    class Deadline {
    public:
        explicit Deadline(const XDisplay& display);
        Deadline(const Deadline&) = delete;
        Deadline& operator=(const Deadline&) = delete;
        ~Deadline();

    private:
        const XDisplay& display;
    };

    // True once the connection has broken or been given up; nothing is drawn on it
    // afterwards.
    bool lost() const;
    // Sends what FLTK has drawn and waits (within roundTripLimit) until the server has
    // done it.
    void sync() const;

private:
    class Watchdog;

    std::unique_ptr<Watchdog> watchdog;
};
