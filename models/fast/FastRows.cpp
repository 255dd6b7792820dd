#include "models/fast/FastRows.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace FastRows {

namespace {

// Chunks of items taken in turn: about kChunksPerThread per thread, so that threads whose
// rows cost more still finish together, and at most kMaxChunk items, so that progress is
// reported often on samples of any size. Taking a chunk is one atomic add, so chunks of
// a single item are fine on small samples.
constexpr int kChunksPerThread = 16;
constexpr int kMaxChunk = 64;

// The state the threads of one run share.
class Run {
public:
    Run(int items, int rows, unsigned threads, std::size_t steps, const std::function<void()>& stepIt,
        const std::function<int(unsigned, int)>& work)
        : items(items), rows(rows), threads(threads), steps(steps), stepIt(stepIt), work(work),
          chunk(std::clamp(items / static_cast<int>(threads * kChunksPerThread), 1, kMaxChunk)), failures(threads)
    {
    }

    // A helper thread's loop; its failure stops every thread and is kept for the caller.
    void helper(unsigned t)
    {
        try {
            while (workChunk(t)) {
            }
        } catch (...) {
            failures[t] = std::current_exception();
            stop = true;
            events.fetch_add(1);
            events.notify_one();
        }
    }

    // The calling thread's share, then its wait for the others, reporting progress.
    void caller()
    {
        while (workChunk(0))
            report();
        for (;;) {
            const unsigned seen = events.load();
            if (done.load() >= rows || stop.load())
                break;
            events.wait(seen);
            report();
        }
    }

    void abandon() { stop = true; }

    // The first failure of a helper, rethrown; then the steps not yet made.
    void finish()
    {
        for (const auto& failure : failures) {
            if (failure)
                std::rethrow_exception(failure);
        }
        while (stepIt && stepped < steps) {
            ++stepped;
            stepIt();
        }
    }

private:
    bool workChunk(unsigned t)
    {
        if (stop.load(std::memory_order_relaxed))
            return false;
        const int from = next.fetch_add(chunk);
        if (from >= items)
            return false;
        const int to = std::min(items, from + chunk);
        int scored = 0;
        for (int k = from; k < to; ++k)
            scored += work(t, k);
        done.fetch_add(scored);
        events.fetch_add(1);
        events.notify_one();
        return true;
    }

    void report()
    {
        if (!stepIt)
            return;
        const auto target = static_cast<std::size_t>(static_cast<long double>(done.load()) * steps / rows);
        while (stepped < target) {
            ++stepped;
            stepIt();
        }
    }

    const int items;
    const int rows;
    const unsigned threads;
    const std::size_t steps;
    const std::function<void()>& stepIt;
    const std::function<int(unsigned, int)>& work;
    const int chunk;
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<unsigned> events{0};
    std::atomic<bool> stop{false};
    std::vector<std::exception_ptr> failures;
    std::size_t stepped = 0;
};

}  // namespace

void run(int items, int rows, unsigned threads, std::size_t steps, const std::function<void()>& stepIt,
         const std::function<int(unsigned, int)>& work)
{
    threads = std::max(1u, std::min(threads, static_cast<unsigned>(items)));
    Run shared(items, rows, threads, steps, stepIt, work);
    {
        std::vector<std::jthread> helpers;
        try {
            for (unsigned t = 1; t < threads; ++t)
                helpers.emplace_back([&shared, t] { shared.helper(t); });
            shared.caller();
        } catch (...) {
            shared.abandon();
            throw;
        }
    }
    shared.finish();
}

}  // namespace FastRows
