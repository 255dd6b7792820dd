#pragma once
// The text of every statement the run sends to the repository, in one place. Keys and
// names come from the program; the only repository contents a statement carries are the
// values of a written row, which go in quoted with their quotes doubled, or, in a column
// that stands unquoted, only as an integer: any other text there would become part of
// the statement.

#include <string>

#include "objects/DataPack.h"

namespace RepositorySql {

std::string taskRow(int taskId);
std::string datasetRow(int datasetId);
std::string sourceRow(int sourceId);
// TskAlgParam rows of that ParSysName joined with their DtsColumn rows, all columns.
std::string taskColumns(int taskId, const std::string& parameterName);
// ColID and ParSysName of the task's in_col and out_col rows, without the join.
std::string parameterIds(int taskId);
// Every DtsColumn row of a column the task names.
std::string describedColumns(int taskId);
// The in_col and out_col rows with the cells a run relies on (see TaskState).
std::string usedParameters(int taskId);

std::string countTaskRows(const std::string& table, int taskId);
std::string deleteTaskRows(const std::string& table, int taskId);
// A write that changes nothing, for the lock it takes.
std::string lockTask(int taskId);

// One TskResult row (ResSysName, ResOrder, ResValue1..3, ColID, ResTableName of the pack)
// and one TskLog row (LogType, LogMessage), each keyed by GetNextPK; a value the pack
// lacks is NULL.
std::string insertResult(const DataPack& pack, int taskId);
std::string insertLog(const DataPack& pack, int taskId);

}  // namespace RepositorySql
