#pragma once
// The logical column types of DtsColumn.ColType and the value classes they are read as:
// 1 real, 2 to 4 coded (integers), 5 to 7 dates, 10 text.

#include "objects/DataModel.h"

namespace ColumnTypes {

inline constexpr int real = 1;
inline constexpr int text = 10;

// Integer types: the codes a class column must have.
bool coded(int colType);
// The value type code (TYPE_DOUBLE, ...) of a logical type; an error for any other.
int valueType(int colType);
// The same for a ColType cell; a NULL or a non-integer is an unknown type.
int valueType(const ObjectPtr& colType);
// Input rows whose coded inputs are to be read as real: their ColType cells become 1.
void readCodedAsReal(DataModel& inputRows);

}  // namespace ColumnTypes
