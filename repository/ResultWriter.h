#pragma once
// The task's writes in the repository: its TskResult and TskLog rows, their removal and
// the task's lock. Each write is checked by what the database reports, and the rows
// written since the last removal are kept for the read-back before the commit
// (WrittenRows): a trigger or a rule may turn a write into nothing without an error, and
// a set with a row missing, or an old row left beside the new ones, would reach the host
// as complete.

#include <initializer_list>

#include "objects/DataPack.h"
#include "repository/CDriver.h"
#include "repository/WrittenRows.h"

class ResultWriter {
public:
    ResultWriter(CDriver& driver, int taskId) : driver(driver), taskId(taskId) {}

    // One row; an error unless exactly that one row was added.
    void saveResult(const DataPack& pack);
    void saveLog(const DataPack& pack);
    // Removes the task's rows of the tables; an error when any is left.
    void deleteRows(std::initializer_list<const char*> tables);
    // Locks the task's Task row until the transaction ends (see ResultWriter.cpp).
    void lockTask();
    // The task's rows read back are exactly those written since the last deleteRows.
    void checkSavedRows() const;

private:
    long countTaskRows(const char* table);

    CDriver& driver;
    int taskId;
    WrittenRows written;
};
