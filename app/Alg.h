#pragma once
// The run of one analysis task: the journal, the task key and the stages in their order.

#include <memory>
#include <string_view>
#include <utility>

#include "app/RunOptions.h"
#include "models/TModel.h"
#include "objects/Vector.h"
#include "sample/Dataset.h"

class Log;
class RepApi;
class TBar;
class TModelClass;

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
    // Stage 2: the repository open, the task's earlier rows cleared, the task bound.
    std::unique_ptr<RepApi> openRepository(Log& log, int key);
    // Stage 3: the sample, written to the journal, and the object.
    std::pair<DatasetPtr, VectorPtr> loadSample(Log& log, RepApi& repository);
    // Stage 4: the chosen widths, with the criterion the search gave them.
    Fit optimize(Log& log, TModelClass& model);
    // Stage 5: the rows, in one transaction under the task's lock.
    void saveResults(Log& log, RepApi& repository, TModelClass& model, int chosen, double errorProbability);
    void writeRows(RepApi& repository, TModelClass& model, int chosen, double errorProbability);
    void clearTaskWithoutJournal() const;
    void setText(const char* text);
    void testStop(std::string_view point) const { options.stops.reach(point); }

    TBar* bar;
    RunOptions options;
};
