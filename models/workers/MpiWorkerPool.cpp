// The workers through MPI, on dodoz's side: started by MPI_Comm_spawn on the hosts of the
// site's MPI settings, handed each search, heard until every share's counts are in.
// dodoz starts as an MPI process of its own (a singleton) only here, when a run asks for
// workers. Every wait is a test followed by a sleep, bounded by what the workers last
// said: a worker that dies or falls silent, a host that cannot be reached or a launch that
// never ends becomes an error within a bounded time, never a hang.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "models/workers/MpiCalls.h"
#include "models/workers/ShareProgress.h"
#include "models/workers/WorkerPool.h"
#include "models/workers/WorkerProtocol.h"

namespace {

namespace P = WorkerProtocol;
using Clock = std::chrono::steady_clock;

std::string workerName(int index) { return "Рабочий процесс поиска " + std::to_string(index + 1); }

// A child of a process run as root inherits its rights anyway; Open MPI's refusal guards
// an interactive user's mistake, not a batch program started by its host. Waiting workers
// give up their core (its default is to poll at full speed). dodoz itself takes one of
// its host's slots though it sleeps while the workers count, so the workers may have more
// than the slots left. The messages are few and small but for the sample, sent once:
// Open MPI's plain point-to-point layer (ob1) serves them as well as UCX, whose start
// took half of the workers' second of start-up here. A site's own setting of each wins.
void prepareEnvironment()
{
    if (geteuid() == 0) {
        setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 0);
        setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 0);
    }
    setenv("OMPI_MCA_mpi_yield_when_idle", "1", 0);
    setenv("OMPI_MCA_rmaps_base_oversubscribe", "1", 0);
    setenv("OMPI_MCA_pml", "ob1", 0);
}

class MpiWorkerPool : public WorkerPool {
public:
    explicit MpiWorkerPool(Settings settings) : settings_(std::move(settings)) { start(); }
    ~MpiWorkerPool() override { end(); }

    std::vector<GridCounts> count(const DenseSample& sample, const std::vector<double>& sigma,
                                              const std::vector<double>& grid, bool strict,
                                              const std::function<void()>& stepIt) override;

private:
    enum class State { Off, Running, Lost, Abandoned };

    int size() const { return static_cast<int>(settings_.workers); }
    void start();
    void greet();
    void end();
    [[noreturn]] void fail(const std::string& message);
    struct Outgoing {
        std::vector<std::int64_t> header;
        std::vector<double> widthsAndGrid;
        std::vector<MPI_Request> requests;
    };
    void hand(Outgoing& out, const DenseSample& sample, const std::vector<double>& sigma,
              const std::vector<double>& grid, bool strict);
    void send(std::vector<MPI_Request>& requests, const void* data, std::int64_t count, MPI_Datatype type, int worker,
              int tag);
    void hear(const MPI_Status& status, ShareProgress::Tracker& progress, std::vector<GridCounts>& counts,
              std::vector<bool>& ended, std::size_t gridSize);

    Settings settings_;
    State state_ = State::Off;
    MPI_Comm workers_ = MPI_COMM_NULL;
};

void MpiWorkerPool::start()
{
    if (access(settings_.workerProgram.c_str(), X_OK) != 0)
        throw std::runtime_error("Нет программы рабочих процессов поиска: " + settings_.workerProgram);
    prepareEnvironment();
    int provided = MPI_THREAD_SINGLE;
    MpiCalls::check(MPI_Init_thread(nullptr, nullptr, MPI_THREAD_SERIALIZED, &provided), "MPI_Init_thread");
    state_ = State::Lost;
    if (provided < MPI_THREAD_SERIALIZED)
        throw std::runtime_error("MPI не допускает вызовов из разных потоков (MPI_THREAD_SERIALIZED)");
    MPI_Comm_set_errhandler(MPI_COMM_SELF, MPI_ERRORS_RETURN);
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);

    struct Spawned {
        MPI_Comm workers = MPI_COMM_NULL;
        std::vector<int> codes;
    };
    auto spawned = std::make_shared<Spawned>();
    spawned->codes.assign(settings_.workers, MPI_SUCCESS);
    const std::string program = settings_.workerProgram;
    const int count = size();
    const std::string asked = " (DODOZ_WORKERS=" + std::to_string(count) + ")";
    // A launch to a host that does not answer, or of a program a host lacks, never returns.
    const bool returned = MpiCalls::within(P::startLimit, [spawned, program, count, asked] {
        MpiCalls::check(MPI_Comm_spawn(program.c_str(), MPI_ARGV_NULL, count, MPI_INFO_NULL, 0, MPI_COMM_SELF,
                                       &spawned->workers, spawned->codes.data()),
                        "MPI не запустил рабочие процессы поиска" + asked);
    });
    if (!returned) {
        state_ = State::Abandoned;
        throw std::runtime_error("Рабочие процессы поиска" + asked + " не запустились за "
                                 + std::to_string(P::startLimit.count())
                                 + " с: узел недоступен или на нем нет " + program);
    }
    workers_ = spawned->workers;
    MPI_Comm_set_errhandler(workers_, MPI_ERRORS_RETURN);
    state_ = State::Running;
    for (int w = 0; w < count; ++w)
        if (spawned->codes[static_cast<std::size_t>(w)] != MPI_SUCCESS)
            fail(workerName(w) + " не запустился: " + MpiCalls::errorText(spawned->codes[static_cast<std::size_t>(w)]));
    state_ = State::Running;
    greet();
}

// Each worker's first word names its protocol: an older dodoz-worker on some host is
// refused before it is handed anything.
void MpiWorkerPool::greet()
{
    std::vector<std::int64_t> hello(2 * settings_.workers);
    std::vector<MPI_Request> requests(settings_.workers);
    for (int w = 0; w < size(); ++w)
        MpiCalls::check(MPI_Irecv(&hello[2 * static_cast<std::size_t>(w)], 2, MPI_INT64_T, w, P::Hello, workers_,
                                  &requests[static_cast<std::size_t>(w)]),
                        "MPI_Irecv");
    const Clock::time_point until = Clock::now() + P::startLimit;
    MpiCalls::Pacer pacer;
    for (int done = 0; !done;) {
        MpiCalls::check(MPI_Testall(size(), requests.data(), &done, MPI_STATUSES_IGNORE), "MPI_Testall");
        if (!done && Clock::now() > until)
            fail("Рабочие процессы поиска не ответили за " + std::to_string(P::startLimit.count()) + " с");
        if (!done)
            pacer.idle();
    }
    for (int w = 0; w < size(); ++w)
        if (hello[2 * static_cast<std::size_t>(w)] != P::version)
            fail(workerName(w) + " другой версии (" + std::to_string(hello[2 * static_cast<std::size_t>(w)])
                 + ", нужна " + std::to_string(P::version) + "): " + settings_.workerProgram);
}

void MpiWorkerPool::send(std::vector<MPI_Request>& requests, const void* data, std::int64_t count,
                         MPI_Datatype type, int worker, int tag)
{
    requests.emplace_back();
    MpiCalls::check(MPI_Isend(data, static_cast<int>(count), type, worker, tag, workers_, &requests.back()),
                    "MPI_Isend");
}

// The header to every worker, the sample to the first; the buffers stay in `out` until
// the sends are done.
void MpiWorkerPool::hand(Outgoing& out, const DenseSample& sample, const std::vector<double>& sigma,
                         const std::vector<double>& grid, bool strict)
{
    out.header.assign(P::HeaderSize, 0);
    out.header[P::Rows] = sample.rows;
    out.header[P::Columns] = sample.columns;
    out.header[P::Classes] = sample.classes;
    out.header[P::GridSize] = static_cast<std::int64_t>(grid.size());
    out.header[P::Strict] = strict ? 1 : 0;
    out.header[P::InstructionCap] = static_cast<std::int64_t>(settings_.instructionSets);
    out.header[P::TestStopInCount] = settings_.testStopInCount ? 1 : 0;
    out.widthsAndGrid = sigma;
    out.widthsAndGrid.insert(out.widthsAndGrid.end(), grid.begin(), grid.end());
    for (int w = 0; w < size(); ++w)
        send(out.requests, out.header.data(), P::HeaderSize, MPI_INT64_T, w, P::Task);
    send(out.requests, out.widthsAndGrid.data(), static_cast<std::int64_t>(out.widthsAndGrid.size()), MPI_DOUBLE, 0,
         P::Sample);
    send(out.requests, sample.cls, sample.rows, MPI_INT, 0, P::Sample);
    const std::int64_t cells = std::int64_t{sample.rows} * sample.columns;
    for (std::int64_t at = 0; at < cells; at += P::pieceCells)
        send(out.requests, sample.x + at, std::min(P::pieceCells, cells - at), MPI_DOUBLE, 0, P::Sample);
}

std::vector<GridCounts> MpiWorkerPool::count(const DenseSample& sample, const std::vector<double>& sigma,
                                                         const std::vector<double>& grid, bool strict,
                                                         const std::function<void()>& stepIt)
{
    if (state_ != State::Running)
        throw std::runtime_error("Рабочие процессы поиска уже потеряны");
    Outgoing out;
    hand(out, sample, sigma, grid, strict);
    std::vector<MPI_Request>& sends = out.requests;
    const double bytes = (static_cast<double>(sample.rows) * sample.columns) * sizeof(double) + sample.rows * sizeof(int);
    const auto transfer = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bytes / P::slowestBytesPerSecond));
    std::vector<Clock::time_point> until(settings_.workers, Clock::now() + P::silenceLimit + transfer);
    std::vector<GridCounts> counts(settings_.workers);
    std::vector<bool> ended(settings_.workers, false);
    ShareProgress::Tracker progress(size(), sample.rows, static_cast<int>(grid.size()), stepIt);
    MpiCalls::Pacer pacer;
    for (int left = size(); left > 0 || !sends.empty();) {
        if (!sends.empty()) {
            int sent = 0;
            MpiCalls::check(MPI_Testall(static_cast<int>(sends.size()), sends.data(), &sent, MPI_STATUSES_IGNORE),
                            "MPI_Testall");
            if (sent)
                sends.clear();
        }
        int flag = 0;
        MPI_Status status;
        MpiCalls::check(MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, workers_, &flag, &status), "MPI_Iprobe");
        if (flag) {
            hear(status, progress, counts, ended, grid.size());
            until[static_cast<std::size_t>(status.MPI_SOURCE)] = Clock::now() + P::silenceLimit;
            left = static_cast<int>(std::count(ended.begin(), ended.end(), false));
            pacer.busy();
            continue;
        }
        const Clock::time_point now = Clock::now();
        for (int w = 0; w < size(); ++w)
            if (!ended[static_cast<std::size_t>(w)] && now > until[static_cast<std::size_t>(w)])
                fail(workerName(w) + " не отвечает " + std::to_string(P::silenceLimit.count())
                     + " с: он завершился или его узел недоступен");
        // A large sample goes in pieces that move only while this process calls MPI.
        if (!sends.empty())
            pacer.busy();
        pacer.idle();
    }
    progress.ended();
    return counts;
}

void MpiWorkerPool::hear(const MPI_Status& status, ShareProgress::Tracker& progress,
                         std::vector<GridCounts>& counts, std::vector<bool>& ended, std::size_t gridSize)
{
    const int w = status.MPI_SOURCE;
    int length = 0;
    if (status.MPI_TAG == P::Failed) {
        MPI_Get_count(&status, MPI_CHAR, &length);
        std::string text(static_cast<std::size_t>(length), '\0');
        MPI_Recv(text.data(), length, MPI_CHAR, w, P::Failed, workers_, MPI_STATUS_IGNORE);
        fail(workerName(w) + ": " + text);
    }
    MPI_Get_count(&status, MPI_INT64_T, &length);
    std::vector<std::int64_t> words(static_cast<std::size_t>(std::max(length, 0)));
    MpiCalls::check(MPI_Recv(words.data(), length, MPI_INT64_T, w, status.MPI_TAG, workers_, MPI_STATUS_IGNORE),
                    "MPI_Recv");
    if (status.MPI_TAG == P::Progress && words.size() == 1) {
        progress.reported(w, words[0]);
    } else if (status.MPI_TAG == P::Counts && words.size() == 1 + 2 * gridSize && !ended[static_cast<std::size_t>(w)]) {
        GridCounts& share = counts[static_cast<std::size_t>(w)];
        share.scored = words[0];
        share.errors.assign(words.begin() + 1, words.begin() + 1 + static_cast<std::ptrdiff_t>(gridSize));
        share.undecided.assign(words.begin() + 1 + static_cast<std::ptrdiff_t>(gridSize), words.end());
        ended[static_cast<std::size_t>(w)] = true;
        progress.reported(w, static_cast<std::int64_t>(gridSize));
    } else {
        fail(workerName(w) + " прислал сообщение " + std::to_string(status.MPI_TAG) + " не по протоколу");
    }
}

// The workers are told to end; the error itself leaves the rest to the end of the process,
// whose launcher then takes down whatever still runs: MPI_Finalize would wait for every
// connected process, a lost one too.
void MpiWorkerPool::fail(const std::string& message)
{
    if (state_ == State::Running) {
        for (int w = 0; w < size(); ++w) {
            MPI_Request request;
            if (MPI_Isend(nullptr, 0, MPI_BYTE, w, P::Stop, workers_, &request) == MPI_SUCCESS)
                MPI_Request_free(&request);
        }
    }
    state_ = State::Lost;
    throw std::runtime_error(message);
}

void MpiWorkerPool::end()
{
    if (state_ != State::Running)
        return;
    for (int w = 0; w < size(); ++w) {
        MPI_Request request;
        if (MPI_Isend(nullptr, 0, MPI_BYTE, w, P::Stop, workers_, &request) == MPI_SUCCESS)
            MPI_Request_free(&request);
    }
    // Both ends disconnect before they finalize, so that neither's launcher takes the
    // other's end for a failure; a worker lost since its last search would hold that up.
    auto workers = std::make_shared<MPI_Comm>(workers_);
    if (MpiCalls::within(P::farewellLimit, [workers] { MPI_Comm_disconnect(workers.get()); }))
        MPI_Finalize();
}

}  // namespace

extern "C" void dodozOpenWorkerPool(const WorkerPool::Settings& settings, std::unique_ptr<WorkerPool>& pool)
{
    pool = std::make_unique<MpiWorkerPool>(settings);
}
