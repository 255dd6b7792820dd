#pragma once
// The sample's statement, built and checked: the task's column names, then the
// dataset's SQL from its first "FROM" on (what stands before it is the host's own
// column list, which the task's columns replace). The text is repository contents, so
// it must not say anything but one query of those columns: a column name is a plain
// name, the tail holds one statement and never INTO, which would make the server write
// the rows to a file, a variable or a table instead of returning them. What the checks
// cannot see (what a function called in the tail does) is stopped where the statement
// runs (SampleRead, SqliteGuard).

#include <string>

#include "objects/DataModel.h"

namespace SampleSql {

// Every refusal of the sample names the load of the sample as its place.
inline constexpr const char* sampleLoadPlace = "RepApi.getTaskColumnsData(CString)";

// "SELECT <ColSysName>, ... <tail>", the columns in the order of the rows; raises
// SystemException for a missing or not plain column name and for a tail that is not
// one query.
std::string statement(const DataModel& columns, const std::string& dtsSql);

// Letters (Latin or Cyrillic), digits and underscores, not starting with a digit; or
// letters, digits, underscores and blanks wholly in double quotes.
bool plainColumnName(const std::string& name);

// Whether the text holds a semicolon before the one it may end with.
bool singleStatement(const std::string& sql);

// Whether the text holds the word INTO in any case, wherever it stands.
bool holdsInto(const std::string& sql);

}  // namespace SampleSql
