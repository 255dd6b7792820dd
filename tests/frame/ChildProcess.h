#pragma once
// A program started by a test: stdin and stdout are pipes (so the test can talk to it line
// by line), stderr goes to a file. The environment is the test's own without DISPLAY,
// DODOZ_NO_GUI and the locale variables, plus the ones given, which replace inherited
// ones of the same name. The process is killed and reaped when the object goes, if it
// still runs.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/LaunchStreams.h"

extern char** environ;

class ChildProcess {
public:
    using Clock = std::chrono::steady_clock;

    ChildProcess(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                 const std::string& workDir, const std::string& stderrFile, const LaunchStreams& streams = {})
        : started(Clock::now())
    {
        // A child that has ended must not take the test with it when the test writes to it.
        ::signal(SIGPIPE, SIG_IGN);
        // Under the leak checker, its list of used suppressions would end up in the stderr the
        // tests compare.
        std::string leakOptions = "LSAN_OPTIONS=print_suppressions=0";
        std::vector<std::string> env;
        auto given = [&extraEnv](const std::string& name) {
            for (const std::string& e : extraEnv)
                if (e.substr(0, e.find('=')) == name)
                    return true;
            return false;
        };
        for (char** e = environ; *e; ++e) {
            std::string var = *e;
            std::string name = var.substr(0, var.find('='));
            if (name == "LSAN_OPTIONS")
                leakOptions = var + ":print_suppressions=0";
            else if (name != "DISPLAY" && name != "DODOZ_NO_GUI" && name != "LANG" && name != "LANGUAGE" &&
                     name.rfind("LC_", 0) != 0 && !given(name))
                env.push_back(var);
        }
        env.push_back(leakOptions);
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> argv, envp;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        int err = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (err == -1)
            throw std::runtime_error("cannot create " + stderrFile);
        err = streams.stderrFor(err);
        pid = fork();
        if (pid == -1)
            throw std::runtime_error("fork failed");
        if (pid == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            dup2(err, 2);
            streams.applyInChild();
            if (chdir(workDir.c_str()) != 0)
                _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err);
        toChild = in[1];
        fromChild = out[0];
    }

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    ~ChildProcess()
    {
        if (running())
            kill(pid, SIGKILL);
        reap(std::chrono::seconds(10));
        closeInput();
        if (fromChild != -1)
            close(fromChild);
    }

    pid_t id() const { return pid; }

    void send(const std::string& line)
    {
        std::string text = line + "\n";
        if (write(toChild, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write to the child: " + line);
    }

    void closeInput()
    {
        if (toChild != -1) {
            close(toChild);
            toChild = -1;
        }
    }

    // The next line of stdout, or nothing when none came in time (or stdout closed).
    std::optional<std::string> readLine(std::chrono::milliseconds timeout)
    {
        auto deadline = Clock::now() + timeout;
        for (;;) {
            size_t end = pending.find('\n');
            if (end != std::string::npos) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                return line;
            }
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
                return std::nullopt;
            pollfd p{fromChild, POLLIN, 0};
            int ready = poll(&p, 1, static_cast<int>(left));
            if (ready == -1 && errno == EINTR)
                continue;
            if (ready != 1)
                return std::nullopt;
            char buffer[4096];
            ssize_t n = read(fromChild, buffer, sizeof buffer);
            if (n <= 0)
                return std::nullopt;
            pending.append(buffer, static_cast<size_t>(n));
        }
    }

    // Waits for the end; the exit code, or nothing when it did not end in time (it is then
    // killed).
    std::optional<int> wait(std::chrono::milliseconds timeout)
    {
        closeInput();
        if (!reap(timeout)) {
            kill(pid, SIGKILL);
            reap(std::chrono::seconds(10));
            return std::nullopt;
        }
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        return 128 + WTERMSIG(status);
    }

    void sendSignal(int number) const
    {
        if (running())
            kill(pid, number);
    }

    double seconds() const { return std::chrono::duration<double>(finished - started).count(); }

private:
    bool running() const { return pid > 0 && !ended; }

    bool reap(std::chrono::milliseconds timeout)
    {
        if (ended || pid <= 0)
            return true;
        auto deadline = Clock::now() + timeout;
        for (;;) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid || (done == -1 && errno != EINTR)) {
                ended = true;
                finished = Clock::now();
                return true;
            }
            if (Clock::now() >= deadline)
                return false;
            usleep(5000);
        }
    }

    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    int status = 0;
    bool ended = false;
    std::string pending;
    Clock::time_point started, finished;
};
