#include "tests/support/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

std::string variableName(const std::string& entry)
{
    return entry.substr(0, entry.find('='));
}

bool steersTheProgram(const std::string& name)
{
    return name == "DISPLAY" || name == "DODOZ_NO_GUI" || name == "LANG" || name == "LANGUAGE" ||
           name.rfind("LC_", 0) == 0 || name == "ODBCSYSINI" || name == "ODBCINI";
}

}  // namespace

void Descriptor::reset()
{
    if (fd_ != -1)
        close(fd_);
    fd_ = -1;
}

std::string ProcessResult::describe() const
{
    std::string text;
    if (timedOut)
        text = "timed out";
    else if (signal)
        text = "ended by signal " + std::to_string(*signal);
    else
        text = "exit code " + std::to_string(exitCode.value_or(-1));
    return text + ", stderr:\n" + err;
}

std::optional<std::string> ProcessResult::sanitizerReport() const
{
    for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
        size_t at = err.find(marker);
        if (at == std::string::npos)
            continue;
        size_t begin = err.rfind('\n', at);
        begin = begin == std::string::npos ? 0 : begin + 1;
        return err.substr(begin, err.find('\n', at) - begin);
    }
    return std::nullopt;
}

std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

std::vector<std::string> Process::childEnvironment(const std::vector<std::string>& env)
{
    std::set<std::string> given;
    for (const std::string& entry : env)
        given.insert(variableName(entry));
    std::string leakOptions = "LSAN_OPTIONS=print_suppressions=0";
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = variableName(entry);
        if (name == "LSAN_OPTIONS")
            leakOptions = entry + ":print_suppressions=0";
        else if (!steersTheProgram(name) && !given.count(name))
            result.push_back(entry);
    }
    if (!given.count("LSAN_OPTIONS"))
        result.push_back(leakOptions);
    result.insert(result.end(), env.begin(), env.end());
    return result;
}

Process::Process(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::filesystem::path& workDir, const LaunchStreams& streams, Talk talk)
{
    if (args.empty())
        throw std::runtime_error("Process: no program");
    const std::vector<std::string> environment = childEnvironment(env);
    std::vector<char*> argv, envp;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : environment)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    const std::string outPath = (capture_.path() / "stdout").string();
    const std::string errPath = (capture_.path() / "stderr").string();
    const std::string dir = workDir.string();
    int in = -1, out = -1;
    if (talk == Talk::Lines) {
        // A child that has ended must not take the test with it when the test writes to it.
        ::signal(SIGPIPE, SIG_IGN);
        int toChild[2], fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0)
            throw std::runtime_error("Process: pipe failed");
        if (pipe2(fromChild, O_CLOEXEC) != 0) {
            close(toChild[0]);
            close(toChild[1]);
            throw std::runtime_error("Process: pipe failed");
        }
        in = toChild[0];
        toChild_ = Descriptor(toChild[1]);
        out = fromChild[1];
        fromChild_ = Descriptor(fromChild[0]);
    } else {
        in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in == -1 || out == -1 || err == -1)
        throw std::runtime_error("Process: cannot open the capture files in " + capture_.path().string());
    err = streams.stderrFor(err);
    started_ = std::chrono::steady_clock::now();
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        streams.applyInChild();
        if (chdir(dir.c_str()) != 0 || (streams.workDirRemoved && rmdir(dir.c_str()) != 0))
            _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    const int forkErrno = errno;
    close(in);
    close(out);
    close(err);
    if (pid_ == -1)
        throw std::runtime_error("Process: fork failed: " + std::to_string(forkErrno));
}

Process::~Process()
{
    if (!ended_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        reap(std::chrono::seconds(30));
    }
}

bool Process::running()
{
    return !reap(std::chrono::milliseconds(0));
}

void Process::signal(int number)
{
    if (!ended_ && !reap(std::chrono::milliseconds(0)))
        kill(pid_, number);
}

std::string Process::outSoFar() const
{
    return readFile(capture_.path() / "stdout");
}

std::string Process::errSoFar() const
{
    return readFile(capture_.path() / "stderr");
}

void Process::send(const std::string& line)
{
    const std::string text = line + "\n";
    if (write(toChild_.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("Process: cannot write to the child: " + line);
}

std::optional<std::string> Process::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return line;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        pollfd p{fromChild_.get(), POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready == -1 && errno == EINTR)
            continue;
        if (ready != 1)
            return std::nullopt;
        char buffer[4096];
        const ssize_t n = read(fromChild_.get(), buffer, sizeof buffer);
        if (n <= 0)
            return std::nullopt;
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

void Process::closeInput()
{
    toChild_.reset();
}

ProcessResult Process::wait(std::chrono::milliseconds timeout)
{
    closeInput();
    ProcessResult result;
    if (!reap(timeout)) {
        kill(pid_, SIGKILL);
        reap(std::chrono::seconds(30));
        result.timedOut = true;
    }
    if (WIFEXITED(status_))
        result.exitCode = WEXITSTATUS(status_);
    else if (WIFSIGNALED(status_))
        result.signal = WTERMSIG(status_);
    result.out = outSoFar();
    result.err = errSoFar();
    result.seconds = std::chrono::duration<double>(finished_ - started_).count();
    return result;
}

ProcessResult Process::run(const std::vector<std::string>& args, const std::vector<std::string>& env,
                           const std::filesystem::path& workDir, std::chrono::milliseconds timeout)
{
    Process process(args, env, workDir);
    return process.wait(timeout);
}

bool Process::reap(std::chrono::milliseconds timeout)
{
    if (ended_)
        return true;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        pid_t done = waitpid(pid_, &status_, WNOHANG);
        if (done == pid_ || (done == -1 && errno != EINTR)) {
            ended_ = true;
            finished_ = std::chrono::steady_clock::now();
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        usleep(2000);
    }
}

}  // namespace testsupport
