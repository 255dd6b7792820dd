#pragma once
// A switch for the reliability tests, inert unless the environment asks for it:
// DODOZ_TEST_STOP=<point>[,<point>...] makes the process stop itself (SIGSTOP) when the
// run reaches one of the named points, so that a test can kill it, stop a server or
// release it together with other runs exactly there. The variable is read once, when the
// run starts; without it a point does nothing and the run, its journal and its rows are
// the same. Only a build with DODOZ_TEST_HOOKS (the tests' builds) has the points: in the
// package and the demo they compile to nothing and the variable is never read.
//
// The points of a run, in order: "open", "clear", "sample", "model", "output", "save",
// "locked", "insert-1" to "insert-N" (after each INSERT of the result transaction),
// "committed"; "worker-count" stops each search worker before it counts (DODOZ_WORKERS).

#include <string>
#include <string_view>

#ifndef DODOZ_TEST_HOOKS
#error "DODOZ_TEST_HOOKS comes with the library dodoz::test_stop (app/CMakeLists.txt)"
#endif

// Whether the comma-separated list names the point (whole names only).
bool testStopListed(std::string_view list, std::string_view point);

class TestStops {
public:
    // The points DODOZ_TEST_STOP lists; none without the variable or the hooks.
    static TestStops fromEnvironment();

    TestStops() = default;
    explicit TestStops(std::string list) : list(std::move(list)) {}

    // Stops the process when the point is listed; returns once it is continued.
#if DODOZ_TEST_HOOKS
    void reach(std::string_view point) const;
    // Whether the point is listed, for a point another process reaches.
    bool lists(std::string_view point) const { return testStopListed(list, point); }
#else
    void reach(std::string_view) const {}
    bool lists(std::string_view) const { return false; }
#endif

private:
    std::string list;
};
