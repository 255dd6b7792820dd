#pragma once
// A switch for the reliability tests, inert unless the environment asks for it:
// DODOZ_TEST_STOP=<point>[,<point>...] makes the process stop itself (SIGSTOP) when the
// run reaches one of the named points, so that a test can kill it, stop a server or
// release it together with other runs exactly there. The variable is read once, when the
// run starts; without it a point does nothing and the run, its journal and its rows are
// the same.
//
// The points of a run, in order: "open", "clear", "sample", "model", "output", "save",
// "locked", "insert-1" to "insert-N" (after each INSERT of the result transaction),
// "committed"; "worker-count" stops each search worker before it counts (DODOZ_WORKERS).

#include <string>
#include <string_view>

// Whether the comma-separated list names the point (whole names only).
bool testStopListed(std::string_view list, std::string_view point);

class TestStops {
public:
    // The points DODOZ_TEST_STOP lists; none without the variable.
    static TestStops fromEnvironment();

    TestStops() = default;
    explicit TestStops(std::string list) : list(std::move(list)) {}

    // Stops the process when the point is listed; returns once it is continued.
    void reach(std::string_view point) const;
    // Whether the point is listed, for a point another process reaches.
    bool lists(std::string_view point) const { return testStopListed(list, point); }

private:
    std::string list;
};
