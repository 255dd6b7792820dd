#pragma once
// What the host finds for a task after a run, whatever became of the run: its TskResult
// rows (every column but the key, in key order) and its TskLog rows. The host trusts one
// rule: a task holds either no rows at all or one complete set, the very rows a good run
// writes. Anything else (some rows, two sets, a set without its closing log row) is a
// partial set.

#include <string>
#include <vector>

#include "tests/e2e/RunFixture.h"

namespace reliability {

enum class Outcome { None, Complete, Partial };
std::string outcomeName(Outcome outcome);  // "none", "complete", "partial"

struct TaskRows {
    // ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName.
    std::vector<e2e::Row> results;
    // LogType, LogMessage.
    std::vector<e2e::Row> logs;

    static TaskRows read(const e2e::RunFixture& fx, int key);

    bool empty() const { return results.empty() && logs.empty(); }
    bool operator==(const TaskRows&) const = default;
    // One line per row (UTF-8), for failure messages.
    std::string describe() const;
};

// Whether the rows have the shape of one complete set of a sample with these class codes:
// a "dens" row per class (ResOrder 0, 1, ...; ResValue1 the code), "class", "p_min", and
// one log row 1 "Анализ завершен". For checking the set a good run left.
bool isCompleteSet(const TaskRows& rows, const std::vector<int>& classCodes);

// None, Complete when the rows are the complete set given, Partial otherwise.
Outcome outcomeOf(const TaskRows& rows, const TaskRows& completeSet);

}  // namespace reliability
