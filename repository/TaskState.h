#pragma once
// What a run reads of its task and uses from then on: the dataset the Task row names,
// its SQL and source, the source's connection data and the task's column parameters
// with the object's values. Read once in the snapshot of the sample and again under the
// task's lock before the results are committed: a task the host saved anew meanwhile
// would get the answer to the question it no longer asks.

#include <optional>
#include <string>
#include <vector>

#include "objects/DataPack.h"

class TaskReader;

struct TaskState {
    // A DtsSource row's connection data.
    struct Source {
        std::string name;
        std::string user;
        std::string password;

        static Source of(const DataPack& row);
        bool operator==(const Source&) const = default;
    };
    // A cell as text, nothing for NULL.
    using Cell = std::optional<std::string>;

    int datasetId = 0;
    int sourceId = 0;
    std::string dtsSql;
    Source source;
    // The in_col and out_col rows of TskAlgParam joined with their DtsColumn rows
    // (ColID, ParSysName, ParValue2, ColSysName, ColType), sorted: the order the
    // database returns them in says nothing.
    std::vector<std::vector<Cell>> parameters;

    // Task, Dataset, DtsSource and the parameter rows, through the repository's reads
    // (their errors included); one state of the task only inside a snapshot or a lock.
    static TaskState read(TaskReader& reader);
    // What differs in `now`, in words for the message; empty when nothing does.
    std::string changedPart(const TaskState& now) const;
};
