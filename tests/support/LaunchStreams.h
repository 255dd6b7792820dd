#pragma once
// How a careless launcher may leave a program's standard descriptors (some of 0-2 closed,
// or stderr a pipe whose reader has gone), its limits and its working directory. The
// process helpers of the tests take it.

#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

struct LaunchStreams {
    std::vector<int> closed;        // descriptors 0-2 the program starts without
    bool stderrReaderGone = false;  // stderr is a pipe nobody reads any more
    // RLIMIT_FSIZE in bytes (ulimit -f): no file the program writes, its journal, an SQLite
    // database or the captured stderr, may grow past it.
    std::optional<rlim_t> fileSizeLimit;
    bool workDirRemoved = false;  // the working directory is removed once the program is in it

    // In the parent before the fork: the descriptor to become stderr in place of `err`
    // (which it then closes), or `err` itself.
    int stderrFor(int err) const
    {
        if (!stderrReaderGone)
            return err;
        int gone[2];
        if (pipe2(gone, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        close(gone[0]);
        close(err);
        return gone[1];
    }

    // In the child once 0-2 are in place. SIGPIPE and SIGXFSZ go back to their default, as
    // a shell leaves them, whatever the test process does with them (an ignored signal
    // stays ignored across exec).
    void applyInChild() const
    {
        signal(SIGPIPE, SIG_DFL);
        signal(SIGXFSZ, SIG_DFL);
        if (fileSizeLimit) {
            const rlimit limit{*fileSizeLimit, *fileSizeLimit};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(125);
        }
        for (int fd : closed)
            close(fd);
    }
};
