#pragma once
// The words each database the tools write to refuses as an unquoted column or table name.

#include <string>

// Whether the upper-case name is reserved in SQLite, PostgreSQL or MariaDB. A source table
// is named before the tools know which of them it goes to, and a dataset may move to
// another, so a name has to be plain on all three.
bool isReservedWord(const std::string& upperName);
