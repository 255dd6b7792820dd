#pragma once
// What both ends of the workers need around MPI: its errors as exceptions, waiting
// without holding a core, and a call that may never return (a launch to a host that does
// not answer) bounded in time.

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

namespace MpiCalls {

inline std::string errorText(int code)
{
    char text[MPI_MAX_ERROR_STRING];
    int length = 0;
    if (MPI_Error_string(code, text, &length) != MPI_SUCCESS)
        return "MPI error " + std::to_string(code);
    return std::string(text, static_cast<std::size_t>(length));
}

inline void check(int code, const std::string& what)
{
    if (code != MPI_SUCCESS)
        throw std::runtime_error(what + ": " + errorText(code));
}

// Open MPI's own waits poll without pause; the waits here test and then sleep, a little
// longer each time nothing came (up to a fiftieth of a second), so a waiting process
// costs next to no processor time and still answers within that.
class Pacer {
public:
    void idle()
    {
        std::this_thread::sleep_for(pause_);
        pause_ = std::min(pause_ * 2, std::chrono::microseconds{20000});
    }
    void busy() { pause_ = std::chrono::microseconds{500}; }

private:
    std::chrono::microseconds pause_{500};
};

// Runs call on a thread of its own and waits up to limit for it. True when it returned in
// time (its exception, if any, rethrown here); false when it still runs: the thread is
// left to it, and the caller must not call MPI again (the process's end takes it down).
inline bool within(std::chrono::milliseconds limit, std::function<void()> call)
{
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        std::exception_ptr error;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call = std::move(call)] {
        std::exception_ptr error;
        try {
            call();
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(shared->mutex);
        shared->done = true;
        shared->error = error;
        shared->changed.notify_all();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->changed.wait_for(lock, limit, [&] { return shared->done; }))
        return false;
    if (shared->error)
        std::rethrow_exception(shared->error);
    return true;
}

}  // namespace MpiCalls
