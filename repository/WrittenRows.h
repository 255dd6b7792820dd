#pragma once
// The task's TskResult and TskLog rows as the open result transaction wrote them, read
// back before the commit. A trigger or a rule may change a row on its way in or add one
// beside it while each INSERT still reports the one row it was asked for; the host
// would take such a set for the complete answer.

#include <optional>
#include <string>
#include <vector>

#include "objects/DataPack.h"

class CDriver;

class WrittenRows {
public:
    // The task's rows were just deleted: none is expected in either table.
    void clear();
    // One row written, with the pack's values of the columns the check reads back.
    void addResult(const DataPack& pack);
    void addLog(const DataPack& pack);
    // Reads the task's rows of both tables in the order of their keys and raises an error
    // unless they are exactly the rows written, value for value as the INSERTs gave them.
    void check(CDriver& driver, int taskId) const;

private:
    using Row = std::vector<std::optional<std::string>>;
    struct Table {
        const char* name;
        const char* key;
        std::vector<const char*> columns;
        std::vector<Row> rows;
    };
    static Row of(const Table& table, const DataPack& pack);
    static void check(CDriver& driver, int taskId, const Table& table);

    Table results{"TskResult", "ResID",
                  {"ResSysName", "ResOrder", "ResValue1", "ResValue2", "ResValue3", "ColID", "ResTableName"}, {}};
    Table logs{"TskLog", "LogID", {"LogType", "LogMessage"}, {}};
};
