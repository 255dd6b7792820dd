#pragma once
// The run of one analysis task: the journal, the task key and the stages in their order.

#include <memory>
#include <string_view>

#include "app/RunOptions.h"

class Log;
class RepApi;
class TBar;

class Alg {
public:
    // The bar belongs to the application; it may be null.
    Alg(TBar* bar, RunOptions options);

    // Performs the whole run; fails only by raising.
    void run();

private:
    // Stages 2 to 5: repository, sample, model, output and results. The repository
    // stays open until the run has written its end line.
    std::unique_ptr<RepApi> runStages(Log& log, int key);
    void clearTaskWithoutJournal() const;
    void setText(const char* text);
    void testStop(std::string_view point) const { options.stops.reach(point); }

    TBar* bar;
    RunOptions options;
};
