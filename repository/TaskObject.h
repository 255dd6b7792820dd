#pragma once
// The object to classify, out of the task's input parameter rows.

#include <vector>

#include "objects/DataModel.h"

namespace TaskObject {

// For each ColID in turn, the ParValue2 of the one row of that ColID converted to its
// column's value class; rows are matched by ColID, never by position. Without ColIDs the
// rows give the order. A value that does not convert fails with the conversion's own
// text, its cause (the value, the column, what the regional settings expect) as detail.
VectorPtr values(const DataModel& inputRows, const std::vector<ObjectPtr>& columnIds);

}  // namespace TaskObject
