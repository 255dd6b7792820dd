#pragma once
// A program started by a test: its own working directory, its stderr captured in a file,
// its stdout too (no pipe can fill up and stall it) unless the test talks to it line by
// line (Talk::Lines: stdin and stdout are pipes), and an environment made of the test's
// own without the variables that steer the program (display, locale, ODBC
// configuration, DODOZ_NO_GUI), plus the ones given. A variable given replaces an
// inherited one of that name. The leak checker is told not to list its suppressions,
// which would otherwise end up in the stderr the tests compare.
//
// The process is started by the constructor; a process still running when the object
// goes is killed with SIGKILL and reaped.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/LaunchStreams.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct ProcessResult {
    std::optional<int> exitCode;  // nothing when a signal ended it
    std::optional<int> signal;    // the signal that ended it
    bool timedOut = false;        // it ran past the timeout and was killed
    std::string out;              // stdout, bytes as written
    std::string err;              // stderr, bytes as written
    double seconds = 0;           // from the start to the end

    // "exit code 0", "signal 9", "timed out" with stderr, for failure messages.
    std::string describe() const;
    // The first line of an AddressSanitizer, LeakSanitizer or UndefinedBehaviorSanitizer
    // report in stderr (a sanitizer build), or nothing.
    std::optional<std::string> sanitizerReport() const;
};

// An open descriptor, closed when it goes; -1 for none.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        reset();
        fd_ = other.fd_;
        other.fd_ = -1;
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return fd_; }
    void reset();

private:
    int fd_ = -1;
};

class Process {
public:
    enum class Talk { None, Lines };

    // args[0] is the program's path. Throws std::runtime_error when it cannot start.
    Process(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::filesystem::path& workDir, const LaunchStreams& streams = {}, Talk talk = Talk::None);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    pid_t pid() const { return pid_; }
    // Whether it still runs (reaps it when it has ended).
    bool running();
    // Sends a signal while it runs; nothing once it has ended.
    void signal(int number);
    // Waits for the end (its stdin closed first); at the timeout it is killed and the
    // result says so.
    ProcessResult wait(std::chrono::milliseconds timeout);
    // The stdout (none with Talk::Lines) and stderr written so far.
    std::string outSoFar() const;
    std::string errSoFar() const;

    // With Talk::Lines: writes the line and a line feed to its stdin; the next line of
    // its stdout, or nothing when none came in time (or stdout closed); the end of its
    // stdin.
    void send(const std::string& line);
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    void closeInput();

    // Starts and waits.
    static ProcessResult run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                             const std::filesystem::path& workDir, std::chrono::milliseconds timeout);

    // The environment a child gets: the inherited one filtered as above, plus env.
    static std::vector<std::string> childEnvironment(const std::vector<std::string>& env);

private:
    bool reap(std::chrono::milliseconds timeout);

    pid_t pid_ = -1;
    Descriptor toChild_, fromChild_;
    std::string pending_;
    int status_ = 0;
    bool ended_ = false;
    TempDir capture_{"dodoz-e2e-io"};
    std::chrono::steady_clock::time_point started_, finished_;
};

// The whole content of a file; empty when it does not exist.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace testsupport
