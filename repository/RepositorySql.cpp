#include "repository/RepositorySql.h"

#include <utility>

#include "core/Utils.h"
#include "runtime/Runtime.h"

namespace RepositorySql {

namespace {

std::string rendered(const DataPack& pack, const char* name, bool quoted, const char* place)
{
    const ObjectPtr& value = pack.find(name);
    if (!value)
        return "NULL";
    if (!quoted && value->getType() != TYPE_INTEGER)
        throw SystemException(place, std::string("Колонка ") + name + " принимает только целые числа: " +
                                         Object::toText(value));
    std::string text = value->toString();
    return quoted ? "'" + Utils::replaceAll(text, "'", "''") + "'" : text;
}

}  // namespace

std::string taskRow(int taskId)
{
    return "SELECT * FROM Task where TskID = " + IntToStr(taskId);
}

std::string datasetRow(int datasetId)
{
    return "SELECT * FROM Dataset where DtsID = " + IntToStr(datasetId);
}

std::string sourceRow(int sourceId)
{
    return "SELECT * FROM DtsSource where SrcID = " + IntToStr(sourceId);
}

std::string taskColumns(int taskId, const std::string& parameterName)
{
    return std::string("SELECT * FROM TskAlgParam, DtsColumn ") +
           " where TskAlgParam.ColID = DtsColumn.ColID AND TskAlgParam.TskID = " + IntToStr(taskId) +
           " AND (ParSysName = '" + parameterName + "')";
}

std::string parameterIds(int taskId)
{
    return "SELECT ColID, ParSysName FROM TskAlgParam WHERE TskID = " + IntToStr(taskId) +
           " AND ParSysName IN ('in_col', 'out_col') ORDER BY ColID";
}

// SELECT *, as every read of the host's tables: its DtsColumn need not say which dataset
// a column belongs to.
std::string describedColumns(int taskId)
{
    return "SELECT * FROM DtsColumn WHERE ColID IN (SELECT ColID FROM TskAlgParam WHERE TskID = " + IntToStr(taskId) +
           ")";
}

std::string usedParameters(int taskId)
{
    return "SELECT TskAlgParam.ColID, ParSysName, ParValue2, ColSysName, ColType FROM TskAlgParam, DtsColumn"
           " WHERE TskAlgParam.ColID = DtsColumn.ColID AND TskAlgParam.TskID = " + IntToStr(taskId) +
           " AND ParSysName IN ('in_col', 'out_col')";
}

std::string countTaskRows(const std::string& table, int taskId)
{
    return "SELECT COUNT(*) FROM " + table + " where TskID = " + IntToStr(taskId);
}

std::string deleteTaskRows(const std::string& table, int taskId)
{
    return "DELETE FROM " + table + " where TskID = " + IntToStr(taskId);
}

std::string lockTask(int taskId)
{
    return "UPDATE Task SET TskID = TskID WHERE TskID = " + IntToStr(taskId);
}

std::string insertResult(const DataPack& pack, int taskId)
{
    std::string sql = "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, "
                      "ResTableName, TskID) VALUES( GetNextPK('TskResult'), ";
    const std::pair<const char*, bool> columns[] = {{"ResSysName", true}, {"ResOrder", false}, {"ResValue1", true},
                                                    {"ResValue2", true},  {"ResValue3", true}, {"ColID", false},
                                                    {"ResTableName", true}};
    for (const auto& [name, quoted] : columns)
        sql += rendered(pack, name, quoted, "RepApi.saveResult(DataPack*)") + ", ";
    return sql + IntToStr(taskId) + ");";
}

std::string insertLog(const DataPack& pack, int taskId)
{
    return "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), " +
           rendered(pack, "LogType", false, "RepApi.saveLog(DataPack*)") + ", " +
           rendered(pack, "LogMessage", true, "RepApi.saveLog(DataPack*)") + ", " + IntToStr(taskId) + ");";
}

}  // namespace RepositorySql
