#include "models/fast/FastRows.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace FastRows {

void run(int items, int rows, unsigned threads, std::size_t steps, const std::function<void()>& stepIt,
         const std::function<int(unsigned, int)>& work)
{
    threads = std::max(1u, std::min(threads, static_cast<unsigned>(items)));
    const int chunk = std::clamp(items / static_cast<int>(threads * 16), 1, 64);
    std::atomic<int> next{0};
    std::atomic<int> done{0};
    std::atomic<unsigned> events{0};
    std::atomic<bool> stop{false};
    std::vector<std::exception_ptr> failures(threads);

    auto take = [&](int& from, int& to) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        from = next.fetch_add(chunk);
        if (from >= items)
            return false;
        to = std::min(items, from + chunk);
        return true;
    };
    auto finished = [&](int n) {
        done.fetch_add(n);
        events.fetch_add(1);
        events.notify_one();
    };
    auto body = [&](unsigned t) {
        try {
            int from = 0;
            int to = 0;
            while (take(from, to)) {
                int scored = 0;
                for (int k = from; k < to; ++k)
                    scored += work(t, k);
                finished(scored);
            }
        } catch (...) {
            failures[t] = std::current_exception();
            stop = true;
            events.fetch_add(1);
            events.notify_one();
        }
    };

    std::size_t stepped = 0;
    auto report = [&] {
        if (!stepIt)
            return;
        const auto target = static_cast<std::size_t>(static_cast<long double>(done.load()) * steps / rows);
        while (stepped < target) {
            ++stepped;
            stepIt();
        }
    };

    {
        std::vector<std::jthread> helpers;
        try {
            for (unsigned t = 1; t < threads; ++t)
                helpers.emplace_back(body, t);
            int from = 0;
            int to = 0;
            while (take(from, to)) {
                int scored = 0;
                for (int k = from; k < to; ++k)
                    scored += work(0, k);
                finished(scored);
                report();
            }
            for (;;) {
                const unsigned seen = events.load();
                if (done.load() >= rows || stop.load())
                    break;
                events.wait(seen);
                report();
            }
        } catch (...) {
            stop = true;
            throw;
        }
    }
    for (const auto& failure : failures) {
        if (failure)
            std::rethrow_exception(failure);
    }
    if (stepIt) {
        while (stepped < steps) {
            ++stepped;
            stepIt();
        }
    }
}


}  // namespace FastRows
