// dodoz-worker: one search worker, started by dodoz through MPI_Comm_spawn when a run
// asks for workers. It counts each search's grid over its share of the query rows, with
// the widest kernels its own processor has within dodoz's cap, and reports its progress,
// a sign of life and its counts. It ends when dodoz says so, and on its own when its
// parent (the local MPI launcher, which dodoz's end takes down) is gone.

#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

#include "models/fast/FastSearch.h"
#include "models/workers/MpiCalls.h"
#include "models/workers/ShareProgress.h"
#include "models/workers/WorkerProtocol.h"

namespace {

namespace P = WorkerProtocol;
using Clock = std::chrono::steady_clock;

struct Search {
    std::vector<std::int64_t> header = std::vector<std::int64_t>(P::HeaderSize);
    std::vector<double> widthsAndGrid;
    std::vector<int> cls;
    std::vector<double> x;

    std::int64_t at(P::HeaderField field) const { return header[field]; }
    DenseSample sample() const
    {
        return {static_cast<int>(at(P::Rows)), static_cast<int>(at(P::Columns)), static_cast<int>(at(P::Classes)),
                x.data(), cls.data()};
    }
};

class Worker {
public:
    explicit Worker(MPI_Comm dodoz, pid_t launcher) : dodoz_(dodoz), launcher_(launcher)
    {
        MpiCalls::check(MPI_Comm_rank(MPI_COMM_WORLD, &rank_), "MPI_Comm_rank");
        MpiCalls::check(MPI_Comm_size(MPI_COMM_WORLD, &size_), "MPI_Comm_size");
        // The workers that share a host share its cores.
        MPI_Comm host;
        MpiCalls::check(MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &host),
                        "MPI_Comm_split_type");
        int neighbours = 1;
        MPI_Comm_size(host, &neighbours);
        MPI_Comm_free(&host);
        threads_ = std::max(1u, FastSearch::defaultThreads() / static_cast<unsigned>(std::max(neighbours, 1)));
    }

    void serve()
    {
        const std::int64_t hello[2] = {P::version, static_cast<std::int64_t>(getpid())};
        MpiCalls::check(MPI_Send(hello, 2, MPI_INT64_T, 0, P::Hello, dodoz_), "MPI_Send");
        while (nextTask()) {
            Search search;
            MpiCalls::check(MPI_Recv(search.header.data(), P::HeaderSize, MPI_INT64_T, 0, P::Task, dodoz_,
                                     MPI_STATUS_IGNORE),
                            "MPI_Recv");
            receive(search);
            count(search);
        }
    }

private:
    // Waits, without holding a core, for dodoz's next word: true for a search, false for
    // the end.
    bool nextTask()
    {
        MpiCalls::Pacer pacer;
        for (;;) {
            int flag = 0;
            MPI_Status status;
            MpiCalls::check(MPI_Iprobe(0, MPI_ANY_TAG, dodoz_, &flag, &status), "MPI_Iprobe");
            if (flag && status.MPI_TAG == P::Task)
                return true;
            if (flag && status.MPI_TAG == P::Stop) {
                MPI_Recv(nullptr, 0, MPI_BYTE, 0, P::Stop, dodoz_, MPI_STATUS_IGNORE);
                return false;
            }
            if (flag)
                throw std::runtime_error("unexpected message " + std::to_string(status.MPI_TAG));
            leaveWhenOrphaned();
            pacer.idle();
        }
    }

    void leaveWhenOrphaned() const
    {
        if (getppid() != launcher_)
            std::_Exit(1);
    }

    // The first worker takes the sample from dodoz piece by piece and hands each piece on
    // to the others over the workers' own communicator, so dodoz sends it once whatever
    // their number.
    template <typename T>
    void share(T* data, std::int64_t count, MPI_Datatype type) const
    {
        for (std::int64_t at = 0; at < count; at += P::pieceCells) {
            const int piece = static_cast<int>(std::min(P::pieceCells, count - at));
            if (rank_ == 0)
                MpiCalls::check(MPI_Recv(data + at, piece, type, 0, P::Sample, dodoz_, MPI_STATUS_IGNORE), "MPI_Recv");
            MpiCalls::check(MPI_Bcast(data + at, piece, type, 0, MPI_COMM_WORLD), "MPI_Bcast");
        }
    }

    void receive(Search& search) const
    {
        const std::int64_t rows = search.at(P::Rows);
        const std::int64_t columns = search.at(P::Columns);
        search.widthsAndGrid.resize(static_cast<std::size_t>(columns + search.at(P::GridSize)));
        search.cls.resize(static_cast<std::size_t>(rows));
        search.x.resize(static_cast<std::size_t>(rows * columns));
        // The widths with the grid and the classes are each one message of their own.
        if (rank_ == 0) {
            MpiCalls::check(MPI_Recv(search.widthsAndGrid.data(), static_cast<int>(search.widthsAndGrid.size()),
                                     MPI_DOUBLE, 0, P::Sample, dodoz_, MPI_STATUS_IGNORE),
                            "MPI_Recv");
            MpiCalls::check(MPI_Recv(search.cls.data(), static_cast<int>(rows), MPI_INT, 0, P::Sample, dodoz_,
                                     MPI_STATUS_IGNORE),
                            "MPI_Recv");
        }
        MpiCalls::check(MPI_Bcast(search.widthsAndGrid.data(), static_cast<int>(search.widthsAndGrid.size()),
                                  MPI_DOUBLE, 0, MPI_COMM_WORLD),
                        "MPI_Bcast");
        MpiCalls::check(MPI_Bcast(search.cls.data(), static_cast<int>(rows), MPI_INT, 0, MPI_COMM_WORLD), "MPI_Bcast");
        share(search.x.data(), rows * columns, MPI_DOUBLE);
    }

    void count(const Search& search) const;
    void report(int tag, const std::vector<std::int64_t>& words) const
    {
        MpiCalls::check(MPI_Send(words.data(), static_cast<int>(words.size()), MPI_INT64_T, 0, tag, dodoz_), "MPI_Send");
    }

    MPI_Comm dodoz_;
    pid_t launcher_;
    int rank_ = 0;
    int size_ = 1;
    unsigned threads_ = 1;
};

// The count runs on a thread of its own; this one reports each grid step, and a sign of
// life when a step takes long, and ends the process at once when dodoz gives up the
// search.
void Worker::count(const Search& search) const
{
    const std::int64_t gridSize = search.at(P::GridSize);
    const std::vector<double> sigma(search.widthsAndGrid.begin(),
                                    search.widthsAndGrid.begin() + static_cast<std::ptrdiff_t>(search.at(P::Columns)));
    const std::vector<double> grid(search.widthsAndGrid.begin() + static_cast<std::ptrdiff_t>(search.at(P::Columns)),
                                   search.widthsAndGrid.end());
    const ShareProgress::Rows rows = ShareProgress::rowsOf(rank_, size_, static_cast<int>(search.at(P::Rows)));
    if (search.at(P::TestStopInCount))
        std::raise(SIGSTOP);

    std::atomic<std::int64_t> steps{0};
    std::atomic<bool> finished{false};
    GridCounts counts;
    std::exception_ptr error;
    const FastSearch::Options options{threads_, static_cast<InstructionSet>(search.at(P::InstructionCap))};
    std::thread counter([&] {
        try {
            counts = FastSearch::countShare(search.sample(), sigma, grid, search.at(P::Strict) != 0,
                                            {rows.begin, rows.end}, [&] { ++steps; }, options);
        } catch (...) {
            error = std::current_exception();
        }
        finished = true;
    });
    std::int64_t reported = 0;
    Clock::time_point lastWord = Clock::now();
    MpiCalls::Pacer pacer;
    while (!finished) {
        const std::int64_t now = steps;
        if (now != reported || Clock::now() - lastWord >= P::signOfLife) {
            report(P::Progress, {now});
            reported = now;
            lastWord = Clock::now();
        }
        int flag = 0;
        MPI_Iprobe(0, P::Stop, dodoz_, &flag, MPI_STATUS_IGNORE);
        if (flag)
            std::_Exit(0);
        leaveWhenOrphaned();
        pacer.idle();
    }
    counter.join();
    if (error) {
        std::string text = "error";
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            text = e.what();
        } catch (...) {
        }
        MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, 0, P::Failed, dodoz_);
        return;
    }
    std::vector<std::int64_t> words{counts.scored};
    words.insert(words.end(), counts.errors.begin(), counts.errors.end());
    words.insert(words.end(), counts.undecided.begin(), counts.undecided.end());
    if (static_cast<std::int64_t>(words.size()) != 1 + 2 * gridSize)
        throw std::runtime_error("counts of another grid");
    report(P::Counts, words);
}

}  // namespace

int main(int argc, char** argv)
{
    // A launcher killed outright takes its workers with it (a host's own launcher is
    // their parent), and a launcher that ended before this line leaves no orphan.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const pid_t launcher = getppid();
    if (launcher == 1)
        return 1;
    int provided = MPI_THREAD_SINGLE;
    if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS)
        return 1;
    MPI_Comm dodoz = MPI_COMM_NULL;
    MPI_Comm_get_parent(&dodoz);
    if (dodoz == MPI_COMM_NULL) {
        std::fputs("dodoz-worker is started by dodoz (DODOZ_WORKERS), not on its own\n", stderr);
        MPI_Finalize();
        return 2;
    }
    MPI_Comm_set_errhandler(dodoz, MPI_ERRORS_RETURN);
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
    try {
        Worker(dodoz, launcher).serve();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dodoz-worker: %s\n", e.what());
        std::_Exit(1);
    }
    MPI_Comm_disconnect(&dodoz);
    MPI_Finalize();
    return 0;
}
