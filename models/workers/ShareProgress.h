#pragma once
// How the query rows are spread over the workers, and the progress of the whole search
// made of what each worker reports of its own share. Every worker scores each grid point
// over its share; the whole search has scored grid step s once the shares' rows weighted
// by their steps add up to s whole passes over the rows. So the caller's step is taken
// exactly once per grid point, the last when the last share ends, from the thread that
// reads the reports.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <vector>

namespace ShareProgress {

// The query rows [begin, end) of worker `index` of `workers`: contiguous, in order, sizes
// differing by at most one row.
struct Rows {
    int begin = 0;
    int end = 0;
};
inline Rows rowsOf(int index, int workers, int rows)
{
    const auto at = [&](int i) { return static_cast<int>(std::int64_t{rows} * i / workers); };
    return {at(index), at(index + 1)};
}

class Tracker {
public:
    Tracker(int workers, int rows, int gridSize, std::function<void()> stepIt)
        : rows_(rows), gridSize_(gridSize), stepIt_(std::move(stepIt)), done_(static_cast<std::size_t>(workers), 0)
    {
        for (int w = 0; w < workers; ++w) {
            const Rows share = rowsOf(w, workers, rows);
            shareRows_.push_back(share.end - share.begin);
        }
    }

    // Worker w has scored `steps` grid steps of its share (reports only grow).
    void reported(int worker, std::int64_t steps)
    {
        const auto w = static_cast<std::size_t>(worker);
        if (steps < done_[w] || steps > gridSize_)
            throw std::runtime_error("progress " + std::to_string(steps) + " after " + std::to_string(done_[w]));
        weighted_ += (steps - done_[w]) * shareRows_[w];
        done_[w] = steps;
        const std::int64_t whole = rows_ == 0 ? (allEnded() ? gridSize_ : 0) : weighted_ / rows_;
        while (taken_ < whole) {
            ++taken_;
            if (stepIt_)
                stepIt_();
        }
    }
    // Every worker has reported its counts: the steps not yet taken follow.
    void ended()
    {
        for (std::size_t w = 0; w < done_.size(); ++w)
            reported(static_cast<int>(w), gridSize_);
    }
    std::int64_t taken() const { return taken_; }

private:
    bool allEnded() const
    {
        for (std::int64_t d : done_)
            if (d < gridSize_)
                return false;
        return true;
    }

    std::int64_t rows_;
    std::int64_t gridSize_;
    std::function<void()> stepIt_;
    std::vector<std::int64_t> done_;
    std::vector<std::int64_t> shareRows_;
    std::int64_t weighted_ = 0;
    std::int64_t taken_ = 0;
};

}  // namespace ShareProgress
