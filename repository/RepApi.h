#pragma once
// The run's one gateway to the repository of the host analysis system, bound to one
// task: it keeps a connection to the repository (data source MIRELON) and one to the
// source database the task names, and hands the work to its parts: the task's reads and
// their checks (TaskReader), the sample (SampleLoader), the object (TaskObject) and the
// writes (ResultWriter), the statements' text being RepositorySql's.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "objects/DataPack.h"
#include "repository/CDriver.h"
#include "repository/ResultWriter.h"
#include "repository/TaskReader.h"
#include "repository/TaskState.h"
#include "sample/Dataset.h"

class RepApi {
public:
    static constexpr const char* repositoryDataSource = "MIRELON";

    // Opens the repository and binds to the task; fails as a whole.
    explicit RepApi(int taskKey);
    // Opens the repository for the task of that key without reading anything of the
    // task yet; setTask binds to it. The run clears the task's earlier rows in between,
    // so that no later failure can leave them standing.
    struct Unbound {};
    RepApi(int taskKey, Unbound);
    RepApi(const RepApi&) = delete;
    RepApi& operator=(const RepApi&) = delete;
    ~RepApi();

    // Reads the task's dataset and source and opens the source database. The task's
    // definition is read afresh, in its snapshot, when the sample or the object is asked
    // for; the sample comes from the source it names, should that be another.
    void setTask(int key);

    // The sample: the task's columns selected from the source database (SampleLoader).
    // The task's definition is read first, once for the binding (TaskReader::readDefinition:
    // the Task, Dataset and DtsSource rows, the checked parameters, the column rows), and
    // the sample comes from the source it names, within queryTimeout.
    DatasetPtr getTaskColumnsData();
    // The object: ParValue2 of every input column of the same definition, converted to
    // the column's value class, in the order of the sample's input columns.
    VectorPtr getTaskInValues();
    // The value type code of a logical column type (DtsColumn.ColType).
    static int getObjectType(int colType);
    static int getObjectType(const ObjectPtr& colType);

    // One TskResult row (ResSysName, ResOrder, ResValue1..3, ColID, ResTableName of the
    // pack) / one TskLog row (LogType, LogMessage), keyed by GetNextPK; an error unless
    // exactly that one row was added.
    void saveResult(const DataPack& pack);
    void saveLog(const DataPack& pack);
    // Before the commit: the task's rows read back are exactly those written since the
    // last deleteResults; an error otherwise.
    void checkSavedRows();
    // Before the commit, under the task's lock: the task still is what its definition
    // read (dataset, SQL, source, columns, the object's values); an error naming what
    // changed otherwise.
    void checkTaskUnchanged();
    // Removes the task's TskResult and TskLog rows; an error when any is left.
    void deleteResults();
    // The same for the TskLog rows alone (see TaskClearing).
    void deleteLogs();
    // Locks the task's Task row until the transaction ends, by a write that changes
    // nothing; another run of the task that locks it too waits until then.
    void lockTask();
    // A transaction on the repository by hand; the run's own go through WriteTransaction.
    void beginTrans();
    void commitTrans();

    // Closes both connections; an open transaction is rolled back, never committed.
    void close();

    const ConnectionPtr& getConnection() const { return connection; }
    CDriver& getDriver() const { return *driver; }
    TaskReader reader() const { return TaskReader(*driver, taskId); }
    int getTaskId() const { return taskId; }
    int getDatasetId() const { return datasetId; }
    int getSourceId() const { return sourceId; }
    const ConnectionPtr& getSourceConnection() const { return sourceConnection; }

    // The statements, as saveResult and saveLog run them.
    static std::string resultStatement(const DataPack& pack, int taskId);
    static std::string logStatement(const DataPack& pack, int taskId);

    // Input columns of an integer logical type are treated as real (type 1).
    bool intInputsAsReal = false;
    // The seconds the sample's statement may run on the source (0: no limit).
    unsigned long queryTimeout = 0;

private:
    const TaskDefinition& definition();
    void openSource(const TaskState::Source& source);
    void useDefinitionSource();
    static ConnectionPtr connectSource(int srcId, const TaskState::Source& source);

    ConnectionPtr connection;
    std::unique_ptr<CDriver> driver;
    int taskId = 0;
    int datasetId = 0;
    int sourceId = 0;
    ConnectionPtr sourceConnection;
    TaskState::Source openedSource;
    // Read once for the binding, by the first of the sample and the object.
    std::optional<TaskDefinition> taskDefinition;
    std::unique_ptr<ResultWriter> writer;
};
