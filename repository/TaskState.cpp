#include "repository/TaskState.h"

#include <algorithm>

#include "repository/RepositorySql.h"
#include "repository/TaskReader.h"
#include "runtime/Runtime.h"

TaskState::Source TaskState::Source::of(const DataPack& row)
{
    return {row.getString("SrcSysName").getValue(), row.getString("SrcUser").getValue(),
            row.getString("SrcPassword").getValue()};
}

TaskState TaskState::read(TaskReader& reader)
{
    TaskState state;
    state.datasetId = reader.task()->getInt("DtsID");
    DataPackPtr dataset = reader.dataset(state.datasetId);
    state.sourceId = dataset->getInt("SrcID");
    state.dtsSql = dataset->getString("DtsSql").getValue();
    state.source = Source::of(*reader.source(state.sourceId));

    CResultSetPtr rows = reader.getDriver().executeQuery(RepositorySql::usedParameters(reader.getTaskId()));
    rows->load();
    for (int i = 0; i < rows->getRowCount(); ++i) {
        std::vector<Cell> row;
        for (int j = 0; j < rows->getColumnCount(); ++j) {
            const ObjectPtr& value = rows->getValue(i, j);
            row.push_back(value ? Cell(value->toString()) : std::nullopt);
        }
        state.parameters.push_back(std::move(row));
    }
    std::sort(state.parameters.begin(), state.parameters.end());
    return state;
}

// The password is named, never shown.
std::string TaskState::changedPart(const TaskState& now) const
{
    if (now.datasetId != datasetId)
        return "набор данных задачи (Task.DtsID: " + IntToStr(datasetId) + " -> " + IntToStr(now.datasetId) + ")";
    if (now.sourceId != sourceId)
        return "источник набора данных (Dataset.SrcID: " + IntToStr(sourceId) + " -> " + IntToStr(now.sourceId) + ")";
    if (now.dtsSql != dtsSql)
        return "запрос набора данных (Dataset.DtsSql)";
    if (now.source != source)
        return "данные соединения с источником (DtsSource: SrcSysName, SrcUser, SrcPassword)";
    if (now.parameters != parameters)
        return "колонки задачи или значения объекта (TskAlgParam, DtsColumn)";
    return {};
}
