#include "repository/ResultWriter.h"

#include "core/Utils.h"
#include "repository/RepositorySql.h"
#include "runtime/Runtime.h"

namespace {

const char* const deletePlace = "RepApi.deleteResults()";

}  // namespace

void ResultWriter::saveResult(const DataPack& pack)
{
    const long rows = driver.executeUpdate(RepositorySql::insertResult(pack, taskId));
    if (rows != 1)
        throw SystemException("RepApi.saveResult(DataPack*)",
                              "Строка результата не добавлена в TskResult (добавлено строк: " + std::to_string(rows) +
                                  "), ResSysName = " + Object::toText(pack.find("ResSysName")) +
                                  ", TskID = " + IntToStr(taskId));
    written.addResult(pack);
}

void ResultWriter::saveLog(const DataPack& pack)
{
    const long rows = driver.executeUpdate(RepositorySql::insertLog(pack, taskId));
    if (rows != 1)
        throw SystemException("RepApi.saveLog(DataPack*)", "Строка журнала не добавлена в TskLog (добавлено строк: " +
                                                               std::to_string(rows) + "), TskID = " + IntToStr(taskId));
    written.addLog(pack);
}

long ResultWriter::countTaskRows(const char* table)
{
    CResultSetPtr result = driver.executeQuery(RepositorySql::countTaskRows(table, taskId));
    result->load();
    if (result->getRowCount() != 1 || result->getColumnCount() != 1)
        throw SystemException(deletePlace, std::string("Не удалось подсчитать строки задачи в ") + table);
    return StrToInt(Object::toText(result->getValue(0, 0)));
}

void ResultWriter::deleteRows(std::initializer_list<const char*> tables)
{
    for (const char* table : tables)
        driver.executeCommand(RepositorySql::deleteTaskRows(table, taskId));
    for (const char* table : tables) {
        const long left = countTaskRows(table);
        if (left != 0)
            throw SystemException(deletePlace, std::string("Строки задачи не удалены из ") + table +
                                                   " (осталось строк: " + std::to_string(left) +
                                                   "), TskID = " + IntToStr(taskId));
    }
    written.clear();
}

// Every database takes a write lock here: PostgreSQL and MariaDB on the row, held to the
// end of the transaction; SQLite on the whole database. Being a write, it also makes a
// transaction that starts with it wait for SQLite's lock instead of failing at once when
// it would otherwise have to turn a read lock into a write lock.
void ResultWriter::lockTask()
{
    driver.executeCommand(RepositorySql::lockTask(taskId));
}

void ResultWriter::checkSavedRows() const
{
    written.check(driver, taskId);
}
