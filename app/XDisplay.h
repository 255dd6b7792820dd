#pragma once
// The X display the progress window is drawn on, opened for FLTK. Plain FLTK ends the
// process when the display cannot be opened or breaks; here a broken connection is only
// recorded, so that the run can go on without the window.

#include <chrono>

class XDisplay {
public:
    // Whether the X server named by DISPLAY accepts a connection within the timeout. The
    // attempt runs in a child process, because connecting to a server that accepts but
    // never answers blocks without end.
    static bool answers(std::chrono::milliseconds timeout);

    // Opens DISPLAY and hands it to FLTK; raises Exception when it cannot be opened.
    XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;
    ~XDisplay();

    // True once the connection has broken; nothing is drawn on it afterwards.
    bool lost() const;
    // Sends what FLTK has drawn and waits until the server has done it.
    void sync() const;
};
