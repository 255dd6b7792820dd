#pragma once
// Registers a CSV file as a dataset with a classification task, without the host:
// the source table in the source database, and the DtsSource, Dataset, DtsColumn, Task
// and TskAlgParam rows in the repository. Everything is checked before anything is
// written, and both databases are written in transactions that commit only when all
// statements went through, so a failure leaves the repository as it was.

#include <optional>
#include <string>
#include <vector>

#include "tools/register/CsvTable.h"

struct RegistrationRequest {
    std::string csvName;      // for messages
    CsvTable csv;
    std::string classColumn;  // header name of the class column
    std::vector<std::string> objectValues;  // one per input column, header order
    std::string repositoryDsn = "MIRELON";
    std::string sourceDsn = "DODOZ_SOURCE";
    std::string table;        // the source table to create or replace
    std::string taskName;
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
};

// Raises Exception with a message naming the line and column of the first bad value.
RegistrationPlan planRegistration(const RegistrationRequest& request);

// Writes the plan; returns the new task key.
int registerTask(const RegistrationPlan& plan, const std::string& repositoryDsn, const std::string& sourceDsn);

// The text a number is written with into SQL: shortest round-trip form with a point.
std::string sqlNumber(double value);
// A quoted SQL text literal (quotes doubled).
std::string sqlText(const std::string& text);
