#pragma once
// What a run of dodoz left for one task in the repository, read back and put in words:
// the TskResult rows (one "dens" row per class, "class", "p_min") and the TskLog rows.

#include <optional>
#include <string>
#include <vector>

#include "models/fast/Sentinels.h"
#include "runtime/Runtime.h"

class OdbcConnection;

struct ResultRowText {
    std::string sysName, order, value1, value2;  // cp1251, "" for NULL
};

struct LogRowText {
    std::string type, message;  // cp1251
};

// The repository has no task of the key asked for.
class NoSuchTask : public Exception {
public:
    explicit NoSuchTask(int key) : Exception("there is no task " + std::to_string(key) + " in the repository") {}
};

struct TaskResults {
    int key = 0;
    std::string name;  // cp1251
    std::vector<ResultRowText> rows;
    std::vector<LogRowText> logs;

    // Raises NoSuchTask when the repository has no such task.
    static TaskResults read(OdbcConnection& repository, int key);
    // The keys of every task with TskResult or TskLog rows, in order.
    static std::vector<int> keysWithRows(OdbcConnection& repository);

    // A TskLog row of type 1 says "Анализ завершен": the result rows are the run's
    // complete set.
    bool complete() const;
    std::optional<std::string> chosenClass() const;  // ResValue1 of the "class" row
    std::optional<std::string> errorPercent() const; // ResValue1 of the "p_min" row
    // The class's share (ResValue2 of its "dens" row).
    std::optional<std::string> shareOf(const std::string& classCode) const;

    // The class labels dodoz-register coded and put at the end of the task's name as
    // " (classes: 0 barolo, 1 grignolino, ...)", in code order: exactly one label per
    // "dens" row. None when the name has no such list, or when it splits into that many
    // labels in more than one way (a label holding ", 1 "): a guess could name the
    // wrong class, the codes alone cannot.
    std::vector<std::string> classLabels() const;  // cp1251

    // The texts below are UTF-8.
    std::string classInWords(const std::string& code) const;  // "class 1 (versicolor)"
    std::string inWords() const;
    std::string asRows() const;  // the rows as the host reads them
    std::string asJson() const;  // one line
    // One line of the table of several tasks, and the table's header line.
    static std::string tableHeader();
    std::string asTableLine() const;
    static std::string csvHeader();
    std::string asCsvLine() const;

private:
    std::string label(const std::optional<std::string>& code) const;  // UTF-8, "" for none
    std::string labelJson(const std::optional<std::string>& code) const;
    std::string sharesText(const char* separator) const;  // "0=12.5 1=87.5"
};

// The class the program writes when no class has a density at the object.
inline const std::string kNoClass = std::to_string(NOT_DEFINED);
