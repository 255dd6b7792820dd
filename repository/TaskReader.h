#pragma once
// The reads of one task's rows in the repository (Task, Dataset, DtsSource, the column
// parameters of TskAlgParam with their DtsColumn rows) and the check of the parameters
// as a whole. Each read fails when its row is missing, naming the key it looked for.

#include <string>
#include <vector>

#include "objects/DataPack.h"
#include "repository/CDriver.h"
#include "repository/TaskState.h"

// What the sample and the object are made of, read once in one snapshot of the
// repository: a host that saves the task again meanwhile must not pair the columns or
// the SQL of one version with the values or the source of another.
struct TaskDefinition {
    TaskState state;
    // The in_col rows and the one out_col row, all columns of TskAlgParam and DtsColumn,
    // ColType as stored.
    CResultSetPtr inputs;
    CResultSetPtr classColumn;

    // The input rows as the run reads them: with intInputsAsReal, ColType 2, 3 and 4 read
    // as 1. A copy: the definition stays as read.
    DataModelPtr inputRows(bool intInputsAsReal) const;
    // The input rows so read, then the class column: the sample's columns in order.
    DataModelPtr sampleColumns(bool intInputsAsReal) const;
    // The ColIDs of the input rows, in their order.
    std::vector<ObjectPtr> inputIds() const;
};

class TaskReader {
public:
    TaskReader(CDriver& driver, int taskId) : driver(driver), taskId(taskId) {}

    DataPackPtr task();
    DataPackPtr dataset(int datasetId);
    DataPackPtr source(int sourceId);
    // The task's parameter rows of that name joined with their columns (all columns of
    // TskAlgParam and DtsColumn), loaded; an error when there is none.
    CResultSetPtr columns(const std::string& parameterName);
    // The parameter rows as a whole, before they are used (see TaskReader.cpp).
    void checkParameters(int datasetId);
    // The task's state, the checked parameters and the column rows, in one read-only
    // snapshot that ends before this returns.
    TaskDefinition readDefinition();

    CDriver& getDriver() const { return driver; }
    int getTaskId() const { return taskId; }

private:
    DataPackPtr readRow(const std::string& sql, const char* place, const std::string& emptyMessage);

    CDriver& driver;
    int taskId;
};
