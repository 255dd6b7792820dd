#include "repository/WrittenRows.h"

#include "core/Utils.h"
#include "repository/CDriver.h"
#include "runtime/Runtime.h"

namespace {

const char* const checkPlace = "RepApi.checkSavedRows()";

std::string shown(const std::optional<std::string>& cell)
{
    return cell ? "'" + *cell + "'" : "NULL";
}

}  // namespace

void WrittenRows::clear()
{
    results.rows.clear();
    logs.rows.clear();
}

WrittenRows::Row WrittenRows::of(const Table& table, const DataPack& pack)
{
    Row row;
    for (const char* column : table.columns) {
        const ObjectPtr& value = pack.find(column);
        row.push_back(value ? std::optional<std::string>(value->toString()) : std::nullopt);
    }
    return row;
}

void WrittenRows::addResult(const DataPack& pack)
{
    results.rows.push_back(of(results, pack));
}

void WrittenRows::addLog(const DataPack& pack)
{
    logs.rows.push_back(of(logs, pack));
}

void WrittenRows::check(CDriver& driver, int taskId) const
{
    check(driver, taskId, results);
    check(driver, taskId, logs);
}

void WrittenRows::check(CDriver& driver, int taskId, const Table& table)
{
    std::string list;
    for (const char* column : table.columns)
        list += std::string(list.empty() ? "" : ", ") + column;
    const std::string task = IntToStr(taskId);
    CResultSetPtr read = driver.executeQuery("SELECT " + list + " FROM " + table.name + " WHERE TskID = " + task +
                                             " ORDER BY " + table.key);
    read->load();
    const std::string where = std::string(" в ") + table.name + ", TskID = " + task;
    if (read->getRowCount() != static_cast<int>(table.rows.size()))
        throw SystemException(checkPlace, "Число строк задачи не равно числу записанных (прочитано " +
                                              IntToStr(read->getRowCount()) + ", записано " +
                                              IntToStr(static_cast<int>(table.rows.size())) + ")" + where);
    for (int i = 0; i < read->getRowCount(); ++i) {
        for (size_t j = 0; j < table.columns.size(); ++j) {
            const ObjectPtr& value = read->getValue(i, static_cast<int>(j));
            const std::optional<std::string> cell = value ? std::optional<std::string>(value->toString()) : std::nullopt;
            if (cell != table.rows[static_cast<size_t>(i)][j])
                throw SystemException(checkPlace, "Строка задачи не совпадает с записанной (строка " + IntToStr(i + 1) +
                                                      ", " + table.columns[j] + ": записано " +
                                                      shown(table.rows[static_cast<size_t>(i)][j]) + ", прочитано " +
                                                      shown(cell) + ")" + where);
        }
    }
}
