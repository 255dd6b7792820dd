#include "tests/reliability/TaskRows.h"

#include "runtime/Runtime.h"

namespace reliability {

namespace {

std::string cellText(const e2e::Cell& cell)
{
    return cell ? "'" + Cp1251ToUtf8(*cell) + "'" : "NULL";
}

bool isText(const e2e::Cell& cell, const std::string& text)
{
    return cell && *cell == text;
}

}  // namespace

std::string outcomeName(Outcome outcome)
{
    static const char* const names[] = {"none", "complete", "partial"};
    return names[static_cast<int>(outcome)];
}

TaskRows TaskRows::read(const e2e::RunFixture& fx, int key)
{
    const std::string task = std::to_string(key);
    TaskRows rows;
    rows.results = fx.db().queryRepository(
        "SELECT ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName FROM TskResult "
        "WHERE TskID = " + task + " ORDER BY ResID");
    rows.logs = fx.db().queryRepository("SELECT LogType, LogMessage FROM TskLog WHERE TskID = " + task +
                                        " ORDER BY LogID");
    return rows;
}

std::string TaskRows::describe() const
{
    std::string text = std::to_string(results.size()) + " TskResult and " + std::to_string(logs.size()) +
                       " TskLog rows";
    for (const auto* table : {&results, &logs}) {
        for (const e2e::Row& row : *table) {
            text += "\n   ";
            for (const e2e::Cell& cell : row)
                text += " " + cellText(cell);
        }
    }
    return text;
}

bool isCompleteSet(const TaskRows& rows, const std::vector<int>& classCodes)
{
    const size_t k = classCodes.size();
    if (rows.results.size() != k + 2 || rows.logs.size() != 1)
        return false;
    for (size_t i = 0; i < k; ++i) {
        const e2e::Row& row = rows.results[i];
        if (!isText(row[0], "dens") || !isText(row[1], std::to_string(i)) ||
            !isText(row[2], std::to_string(classCodes[i])) || !row[3])
            return false;
    }
    const e2e::Row& classRow = rows.results[k];
    const e2e::Row& errorRow = rows.results[k + 1];
    if (!isText(classRow[0], "class") || !isText(classRow[1], "0") || !classRow[2])
        return false;
    if (!isText(errorRow[0], "p_min") || !isText(errorRow[1], "0") || !errorRow[2])
        return false;
    return isText(rows.logs[0][0], "1") && isText(rows.logs[0][1], "Анализ завершен");
}

Outcome outcomeOf(const TaskRows& rows, const TaskRows& completeSet)
{
    if (rows.empty())
        return Outcome::None;
    return rows == completeSet ? Outcome::Complete : Outcome::Partial;
}

}  // namespace reliability
