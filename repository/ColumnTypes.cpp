#include "repository/ColumnTypes.h"

#include "core/Utils.h"
#include "runtime/Runtime.h"

namespace ColumnTypes {

namespace {

const char* const place = "RepApi.getObjectType(int)";

}  // namespace

bool coded(int colType)
{
    return colType >= 2 && colType <= 4;
}

int valueType(int colType)
{
    switch (colType) {
    case real:
        return TYPE_DOUBLE;
    case 2:
    case 3:
    case 4:
        return TYPE_INTEGER;
    case 5:
    case 6:
    case 7:
        return TYPE_DATE;
    case text:
        return TYPE_STRING;
    default:
        throw SystemException(place, "Неизвестный логический тип колонки: " + IntToStr(colType));
    }
}

int valueType(const ObjectPtr& colType)
{
    if (!colType || colType->getType() != TYPE_INTEGER)
        throw SystemException(place, "Неизвестный логический тип колонки: " + Object::toText(colType));
    return valueType(static_cast<const CInteger&>(*colType).getValue());
}

void readCodedAsReal(DataModel& inputRows)
{
    const int column = inputRows.getColumnIndex("ColType");
    for (int code : {2, 3, 4}) {
        CInteger old(code);
        inputRows.replaceValue(column, &old, std::make_shared<CInteger>(real));
    }
}

}  // namespace ColumnTypes
