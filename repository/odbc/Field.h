#pragma once
// The data type of a result column in the numbering the result sets decide by, and the
// strict reading of a cell as the kind a caller asks for. Every failure raises
// Exception naming the column and the value; nothing is read as 0, NULL or "today".

#include <string>

#include "repository/odbc/OdbcStatement.h"

enum class FieldType {
    Unknown = 0,
    String = 1,
    SmallInt = 2,
    Integer = 3,
    Word = 4,
    Boolean = 5,
    Float = 6,
    Currency = 7,
    Decimal = 8,
    Date = 9,
    Time = 10,
    DateTime = 11,
    Bytes = 12,
    Memo = 13,
    WideString = 14,
    LargeInt = 15,
    Other = 16,
};

namespace Field {

FieldType typeOf(OdbcSmallInt sqlType);

// The cell must not be NULL.
int32_t asInteger(const OdbcValue& value, const OdbcColumn& column);
double asFloat(const OdbcValue& value, const OdbcColumn& column);
bool asBoolean(const OdbcValue& value, const OdbcColumn& column);
double asDateTime(const OdbcValue& value, const OdbcColumn& column);
std::string asText(const OdbcValue& value, const OdbcColumn& column);

}  // namespace Field
