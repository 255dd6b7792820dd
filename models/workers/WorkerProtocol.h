#pragma once
// What dodoz and its search workers say to each other, written once for both sides. A
// search goes: the header to every worker; the sample to the first worker, which hands
// it on to the others over their own communicator; then from each worker its progress
// (and a sign of life while a step takes long) and at the end its counts.

#include <chrono>
#include <cstdint>

namespace WorkerProtocol {

// Raised whenever a message changes its layout, so that an older dodoz-worker left on
// some host is refused instead of misread.
inline constexpr std::int64_t version = 1;

enum Tag : int {
    Hello = 1,     // worker -> dodoz: version, the worker's process id
    Task = 2,      // dodoz -> every worker: the header below
    Sample = 3,    // dodoz -> the first worker: widths and grid, classes, then the cells in pieces
    Progress = 4,  // worker -> dodoz: the grid steps its share has scored so far
    Counts = 5,    // worker -> dodoz: scored, errors per grid point, undecided per grid point
    Failed = 6,    // worker -> dodoz: the text of the exception its count raised
    Stop = 7,      // dodoz -> every worker: end now
};

// The header of one search: sizes, the mode and the kernels allowed.
// TestStopInCount: the worker stops itself (SIGSTOP) before it counts, for the tests that
// lose a worker in the middle of a search.
enum HeaderField { Rows, Columns, Classes, GridSize, Strict, InstructionCap, TestStopInCount, HeaderSize };

// The cells go in pieces no larger than this many doubles (128 MiB): message sizes stay
// well inside what every transport takes in one int count of bytes.
inline constexpr std::int64_t pieceCells = std::int64_t{1} << 24;

// A counting worker reports at least this often, whether or not a grid step ended.
inline constexpr std::chrono::milliseconds signOfLife{1000};
// Silence from one worker for this long means it is gone (dead, or its host unreachable):
// many signs of life missed, so that a loaded machine does not pass for a lost worker.
inline constexpr std::chrono::seconds silenceLimit{20};
// Waiting for the sample to arrive is silent; it is allowed this rate on top of silenceLimit.
inline constexpr double slowestBytesPerSecond = 10e6;
// The workers started and connected (on every host of the site's hostfile), or the start
// is taken as refused.
inline constexpr std::chrono::seconds startLimit{60};
// A stopped worker's farewell, before dodoz leaves the rest to the end of its process.
inline constexpr std::chrono::seconds farewellLimit{10};

}  // namespace WorkerProtocol
