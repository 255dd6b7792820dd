#include "repository/RepApi.h"

#include "core/Utils.h"
#include "repository/ColumnTypes.h"
#include "repository/RepositorySql.h"
#include "repository/SampleLoader.h"
#include "repository/TaskObject.h"
#include "runtime/Runtime.h"

RepApi::RepApi(int taskKey, Unbound) : taskId(taskKey)
{
    try {
        connection = CDriver::connect(repositoryDataSource, "", "");
        driver = std::make_unique<CDriver>(connection);
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& e) {
        throw SystemException("RepApi(int)", std::string("Ошибка соединения с репозиторием системы ") + repositoryDataSource,
                              e.text());
    }
    writer = std::make_unique<ResultWriter>(*driver, taskId);
}

RepApi::RepApi(int taskKey) : RepApi(taskKey, Unbound{})
{
    setTask(taskKey);
}

RepApi::~RepApi()
{
    try {
        close();
    } catch (const Exception&) {
        // The connections end with the process; nothing is committed by a failed close.
    }
}

void RepApi::setTask(int key)
{
    taskId = key;
    writer = std::make_unique<ResultWriter>(*driver, taskId);
    taskDefinition.reset();
    TaskReader task = reader();
    datasetId = task.task()->getInt("DtsID");
    sourceId = task.dataset(datasetId)->getInt("SrcID");
    openSource(TaskState::Source::of(*task.source(sourceId)));
}

void RepApi::openSource(const TaskState::Source& source)
{
    if (sourceConnection && sourceConnection->isOpen())
        sourceConnection->close();
    sourceConnection = connectSource(sourceId, source);
    openedSource = source;
}

// The source opened when the task was bound is the one the task named then; the sample
// comes from the one the definition names, the same connection when that is no other.
void RepApi::useDefinitionSource()
{
    const TaskState& state = taskDefinition->state;
    sourceId = state.sourceId;
    if (!sourceConnection || !sourceConnection->isOpen() || state.source != openedSource)
        openSource(state.source);
}

ConnectionPtr RepApi::connectSource(int srcId, const TaskState::Source& source)
{
    const char* const place = "RepApi.getSourceConnect(int)";
    const CString systemName(source.name);
    // The driver manager would take an empty name for its default data source.
    if (systemName.getValue().empty())
        throw SystemException(place, "Не задано имя источника данных: SrcID = " + IntToStr(srcId));
    try {
        return CDriver::connect(systemName, CString(source.user), CString(source.password));
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& e) {
        throw SystemException(place, "Ошибка соединения с источником " + systemName.getValue(), e.text());
    }
}

const TaskDefinition& RepApi::definition()
{
    if (!taskDefinition) {
        taskDefinition = reader().readDefinition();
        datasetId = taskDefinition->state.datasetId;
    }
    return *taskDefinition;
}

DatasetPtr RepApi::getTaskColumnsData()
{
    const TaskDefinition& task = definition();
    const SampleLoader loader(task.sampleColumns(intInputsAsReal), task.state.dtsSql);
    useDefinitionSource();
    return loader.read(*sourceConnection, queryTimeout);
}

VectorPtr RepApi::getTaskInValues()
{
    const TaskDefinition& task = definition();
    return TaskObject::values(*task.inputRows(intInputsAsReal), task.inputIds());
}

int RepApi::getObjectType(int colType)
{
    return ColumnTypes::valueType(colType);
}

int RepApi::getObjectType(const ObjectPtr& colType)
{
    return ColumnTypes::valueType(colType);
}

std::string RepApi::resultStatement(const DataPack& pack, int taskId)
{
    return RepositorySql::insertResult(pack, taskId);
}

std::string RepApi::logStatement(const DataPack& pack, int taskId)
{
    return RepositorySql::insertLog(pack, taskId);
}

void RepApi::saveResult(const DataPack& pack)
{
    writer->saveResult(pack);
}

void RepApi::saveLog(const DataPack& pack)
{
    writer->saveLog(pack);
}

void RepApi::deleteResults()
{
    writer->deleteRows({"TskResult", "TskLog"});
}

void RepApi::deleteLogs()
{
    writer->deleteRows({"TskLog"});
}

void RepApi::lockTask()
{
    writer->lockTask();
}

void RepApi::checkSavedRows()
{
    writer->checkSavedRows();
}

void RepApi::checkTaskUnchanged()
{
    const char* const place = "RepApi.checkTaskUnchanged()";
    if (!taskDefinition)
        throw SystemException(place, "Задача не считана: TskID = " + IntToStr(taskId));
    TaskReader task = reader();
    const std::string changed = taskDefinition->state.changedPart(TaskState::read(task));
    if (!changed.empty())
        throw SystemException(place, "Задача изменена во время анализа: " + changed +
                                         "; результаты не записаны, TskID = " + IntToStr(taskId));
}

void RepApi::beginTrans()
{
    driver->beginTrans();
}

void RepApi::commitTrans()
{
    driver->commitTrans();
}

void RepApi::close()
{
    if (sourceConnection)
        sourceConnection->close();
    if (connection)
        connection->close();
}
