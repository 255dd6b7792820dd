#pragma once
// Registers a CSV file as a dataset with a classification task, without the host:
// the source table in the source database, and the DtsSource, Dataset, DtsColumn, Task
// and TskAlgParam rows in the repository. Everything is checked before anything is
// written, and both databases are written in transactions that commit only when all
// statements went through, so a failure leaves the repository as it was.

#include <optional>
#include <string>
#include <vector>

#include "tools/common/CsvTable.h"

struct RegistrationRequest {
    std::string csvName;      // for messages
    CsvTable csv;             // texts in UTF-8
    std::string classColumn;  // header name of the class column
    std::vector<std::string> inputColumns;  // header names; empty: every column but the class
    std::vector<std::string> excludedColumns;  // header names left out when inputColumns is empty
    std::vector<std::string> objectValues;  // one per input column, in the order of the inputs
    // The decimal separator of the file's numbers: '.', ',' or 0 for either of them.
    char decimal = '.';
    std::string repositoryDsn = "MIRELON";
    std::string sourceDsn = "DODOZ_SOURCE";
    std::string table;             // the source table to create
    bool tableFromFileName = false;  // table was not given: it may be made plain
    std::string taskName;          // empty: a name made from the table (and the class labels)
    bool replace = false;          // an existing table may be replaced
};

// The checked content, ready to be written: names in cp1251, numbers parsed.
struct RegistrationPlan {
    std::string table;
    std::vector<std::string> inputNames;
    std::string className;
    std::vector<std::vector<std::optional<double>>> inputs;
    std::vector<std::optional<int>> classes;
    std::vector<double> object;
    std::string taskName;
    // The texts of a class column that is not integer, in code order (UTF-8).
    std::vector<std::string> classLabels;
    // What the user should know about names made or codes given (UTF-8), one line each.
    std::vector<std::string> notes;
    bool replace = false;
};

// Raises Exception with a message naming the line and column of the first bad value and
// what to do about it.
RegistrationPlan planRegistration(const RegistrationRequest& request);

// Checks the plan against both databases, then writes it; returns the new task key.
// Notes about the databases (a table kept or replaced) are added to plan.notes.
int registerTask(RegistrationPlan& plan, const std::string& repositoryDsn, const std::string& sourceDsn);

// The repository's own tables and key counters, which no source table may be named.
bool isRepositoryTable(const std::string& name);

// The text a number is written with into SQL: shortest round-trip form with a point.
std::string sqlNumber(double value);
// A quoted SQL text literal (quotes doubled).
std::string sqlText(const std::string& text);
