// Whole dodoz runs for the benchmark: a seeded sample as CSV, and a timed run of a task.
//
//   dodoz_wholerun csv ROWS COLUMNS SEED      the sample on stdout: k = 3 Gaussian blobs,
//                                             header X1..Xd,class
//   dodoz_wholerun run DODOZ KEY              runs DODOZ KEY in the current directory and
//                                             prints one line of figures
//
// The run stops the child at the program's own test stops "model" (the sample is loaded),
// "output" (the search is done) and "save" (p_min is done) and lets it go on at once, so
// the stage times come from the stops without any reading of the journal. Wall and CPU
// time (user + sys of the child and of every process it started, its search workers
// included; the child's own apart) and the child's peak resident memory are printed; on
// a shared machine the CPU time is the steadier figure.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "tests/support/DenseSamples.h"

namespace {

int csv(int rows, int columns, std::uint64_t seed)
{
    auto centre = [](int c, int j) {
        if (c == 0)
            return 0.0;
        if (c == 1)
            return j % 2 == 0 ? 1.5 : 1.0;
        return j % 3 == 0 ? 0.0 : (j % 3 == 1 ? 1.5 : -0.8);
    };
    const testsupport::DenseRows s = testsupport::gaussianBlobs(rows, columns, 3, seed, centre);
    for (int j = 0; j < columns; ++j)
        std::printf("X%d,", j + 1);
    std::printf("class\n");
    for (int r = 0; r < rows; ++r) {
        for (int j = 0; j < columns; ++j)
            std::printf("%.4f,", s.x[r * columns + j]);
        std::printf("%d\n", s.cls[r]);
    }
    return 0;
}

double cpuOf(const rusage& u)
{
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// User and system time of the process itself, from /proc (a process not yet reaped).
double ownCpuOf(pid_t pid)
{
    std::FILE* stat = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!stat)
        return 0.0;
    char text[1024] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    const char* fields = std::strrchr(text, ')');
    unsigned long user = 0, system = 0;
    if (length == 0 || !fields || std::sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        return 0.0;
    return static_cast<double>(user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int run(const char* dodoz, const char* key)
{
    using Clock = std::chrono::steady_clock;
    // Whatever dodoz leaves running when it ends (with workers, their launcher) comes to
    // this process, so that its processor time, and the workers' it reaped, is counted.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setenv("DODOZ_NO_GUI", "1", 1);
        if (FILE* quiet = std::freopen("/dev/null", "w", stdout); !quiet)
            std::_Exit(126);
        setenv("DODOZ_TEST_STOP", "model,output,save", 1);
        execl(dodoz, dodoz, key, static_cast<char*>(nullptr));
        std::_Exit(127);
    }
    double at[3] = {0.0, 0.0, 0.0};
    int stops = 0;
    int status = 0;
    rusage usage{};
    double own = 0.0;
    for (;;) {
        // The ended process's own time is read before it is reaped: wait4's counts add its
        // waited-for children's (with workers, their launcher's), dodoz's own stays apart.
        siginfo_t ended{};
        if (waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WSTOPPED | WNOWAIT) == 0
            && ended.si_code != CLD_STOPPED)
            own = ownCpuOf(child);
        if (wait4(child, &status, WUNTRACED, &usage) != child)
            return 1;
        if (WIFSTOPPED(status)) {
            if (stops < 3)
                at[stops] = std::chrono::duration<double>(Clock::now() - start).count();
            ++stops;
            kill(child, SIGCONT);
            continue;
        }
        break;
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    while (wait(nullptr) > 0) {
    }
    rusage all{};
    getrusage(RUSAGE_CHILDREN, &all);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || stops != 3) {
        std::printf("FAILED (status %d, stops %d)\n", status, stops);
        return 1;
    }
    std::printf("wall %.2f s, cpu %.2f s (dodoz's own %.2f s), peak %.1f MB; load %.2f s, search %.2f s, "
                "output+p_min %.2f s, save %.2f s\n",
                wall, cpuOf(all), own, usage.ru_maxrss / 1024.0, at[0], at[1] - at[0], at[2] - at[1], wall - at[2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "csv" && argc == 5)
        return csv(std::atoi(argv[2]), std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    if (mode == "run" && argc == 4)
        return run(argv[2], argv[3]);
    std::fprintf(stderr, "usage: dodoz_wholerun csv ROWS COLUMNS SEED | run DODOZ KEY\n");
    return 2;
}
