#pragma once
// The run's one gateway to the repository of the host analysis system, bound to one
// task: it reads the task, its dataset and the source database's connection data,
// keeps a connection to the repository (data source MIRELON) and one to the source
// database, loads the sample, and writes results and task-log rows. Every query is SQL
// text run through CDriver; single rows come back as DataPacks named by the columns.

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "objects/DataModel.h"
#include "objects/DataPack.h"
#include "repository/CDriver.h"
#include "repository/TaskState.h"
#include "repository/WrittenRows.h"
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

    // Reads the task's dataset and source and opens the source database. The sample's
    // snapshot reads them again and opens the source it names, should that be another.
    void setTask(int key);

    DataPackPtr getTask();
    DataPackPtr getDataset();
    DataPackPtr getDataset(int dtsId);
    DataPackPtr getSource(int srcId);
    ConnectionPtr getSourceConnect(int srcId);

    // The task's parameter rows of that name joined with their columns (all columns of
    // TskAlgParam and DtsColumn), loaded; an error when there is none.
    CResultSetPtr getTaskColumns(const CString& name);
    // The "in_col" rows; with intInputsAsReal, ColType 2, 3 and 4 read as 1.
    CResultSetPtr getTaskInColumns();
    CResultSetPtr getTaskOutColumns();
    // ParValue2 of every input column, converted to the column's value class, in the
    // order of the sample's input columns once a sample is loaded (else in row order).
    // Right after getTaskColumnsData the rows are those it read in its snapshot of the
    // repository; otherwise they are read here.
    VectorPtr getTaskInValues();
    // The object out of input parameter rows: for each ColID in turn, the ParValue2 of
    // the one row of that ColID converted to its column's value class. Rows are matched
    // by ColID, never by position.
    static VectorPtr objectValues(const DataModel& inputRows, const std::vector<ObjectPtr>& columnIds);
    // The value type code of a logical column type (DtsColumn.ColType).
    static int getObjectType(int colType);
    // The same for a ColType cell; a NULL or a non-integer is an unknown type.
    static int getObjectType(const ObjectPtr& colType);
    // The sample: the task's columns selected from the source database. The task's
    // parameters are checked first (each column once, described in DtsColumn, one class
    // column that is not an input); they, the Task, Dataset and DtsSource rows and the
    // rows of the object's values are read in one read-only snapshot of the repository,
    // and the sample comes from the source that snapshot names. The statement
    // (SampleSql) runs as a query only, within queryTimeout (SampleRead).
    DatasetPtr getTaskColumnsData();

    // One TskResult row (ResSysName, ResOrder, ResValue1..3, ColID, ResTableName of the
    // pack) / one TskLog row (LogType, LogMessage), keyed by GetNextPK; an error unless
    // exactly that one row was added.
    void saveResult(const DataPack& pack);
    void saveLog(const DataPack& pack);
    // Before the commit: the task's rows read back are exactly those written since the
    // last deleteResults; an error otherwise.
    void checkSavedRows();
    // Before the commit, under the task's lock: the task still is what getTaskColumnsData
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
    void beginTrans();
    void commitTrans();

    // Closes both connections; an open transaction is rolled back, never committed.
    void close();

    const ConnectionPtr& getConnection() const { return connection; }
    CDriver& getDriver() const { return *driver; }
    int getTaskId() const { return taskId; }
    int getDatasetId() const { return datasetId; }
    int getSourceId() const { return sourceId; }
    const ConnectionPtr& getSourceConnection() const { return sourceConnection; }
    CDriver& getSourceDriver() const { return *sourceDriver; }

    // The statements, as the operations above run them.
    static std::string resultStatement(const DataPack& pack, int taskId);
    static std::string logStatement(const DataPack& pack, int taskId);

    // Input columns of an integer logical type are treated as real (type 1).
    bool intInputsAsReal = false;
    // The seconds the sample's statement may run on the source (0: no limit).
    unsigned long queryTimeout = 0;

private:
    DataPackPtr readRow(const std::string& sql, const char* place, const std::string& emptyMessage);
    void openSource(const TaskState::Source& source);
    void useSnapshotSource();
    static ConnectionPtr connectSource(int srcId, const TaskState::Source& source);
    void checkTaskColumns();
    long countTaskRows(const std::string& table);
    void deleteTaskRows(std::initializer_list<const char*> tables);

    ConnectionPtr connection;
    std::unique_ptr<CDriver> driver;
    int taskId = 0;
    int datasetId = 0;
    int sourceId = 0;
    ConnectionPtr sourceConnection;
    std::unique_ptr<CDriver> sourceDriver;
    TaskState::Source openedSource;
    // What getTaskColumnsData read of the task, for checkTaskUnchanged.
    std::optional<TaskState> used;
    WrittenRows written;
    // Left by getTaskColumnsData for getTaskInValues: the input rows of the object,
    // read in the sample's snapshot, and the ColIDs of the sample's input columns.
    CResultSetPtr objectRows;
    std::vector<ObjectPtr> sampleInputIds;
};
