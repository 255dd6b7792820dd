#include "repository/TaskObject.h"

#include "core/Utils.h"
#include "repository/ColumnTypes.h"
#include "runtime/Runtime.h"

namespace TaskObject {

namespace {

const char* const place = "RepApi.getTaskInValues()";
// 31.12.2024 as a date value (days since 30.12.1899), shown as the settings print dates.
constexpr double lastDayOf2024 = 45657.0;

// The rows of the columns in turn.
std::vector<int> rowOrder(const DataModel& inputRows, const std::vector<ObjectPtr>& columnIds)
{
    std::vector<int> order;
    if (columnIds.empty()) {
        for (int i = 0; i < inputRows.getRowCount(); ++i)
            order.push_back(i);
        return order;
    }
    if (static_cast<int>(columnIds.size()) != inputRows.getRowCount())
        throw SystemException(place, "Число значений объекта не равно числу входных колонок выборки: " +
                                         IntToStr(inputRows.getRowCount()) + "<>" +
                                         IntToStr(static_cast<int>(columnIds.size())));
    const int idColumn = inputRows.getColumnIndex("ColID");
    for (const ObjectPtr& id : columnIds) {
        int found = -1;
        for (int i = 0; i < inputRows.getRowCount(); ++i) {
            if (Object::compare(inputRows.getValue(i, idColumn), id) != 0)
                continue;
            if (found >= 0)
                throw SystemException(place, "Значение объекта задано дважды: ColID = " + Object::toText(id));
            found = i;
        }
        if (found < 0)
            throw SystemException(place, "Не найдено значение объекта для входной колонки: ColID = " + Object::toText(id));
        order.push_back(found);
    }
    return order;
}

// What the text should have looked like: a task saved under one regional setting and run
// under another is the usual way to get here.
std::string expected(int type)
{
    switch (type) {
    case TYPE_DOUBLE:
        return std::string("региональные настройки ожидают десятичный разделитель '") +
               formatSettings().decimalSeparator + "'";
    case TYPE_DATE:
        return "региональные настройки ожидают дату вида " + DateToStr(lastDayOf2024);
    default:
        return "ожидается целое число";
    }
}

ObjectPtr converted(const ObjectPtr& value, int type, const std::string& column)
{
    try {
        return Object::convert(value, type);
    } catch (const SystemException&) {
        throw;
    } catch (const Exception& failure) {
        throw ExplainedException(failure, "Значение объекта '" + value->toString() + "' входной колонки " + column +
                                              " (TskAlgParam.ParValue2) не преобразуется: " + expected(type));
    }
}

}  // namespace

VectorPtr values(const DataModel& inputRows, const std::vector<ObjectPtr>& columnIds)
{
    const int typeColumn = inputRows.getColumnIndex("ColType");
    const int valueColumn = inputRows.getColumnIndex("ParValue2");
    auto values = std::make_shared<Vector>();
    for (int i : rowOrder(inputRows, columnIds)) {
        const int type = ColumnTypes::valueType(inputRows.getValue(i, typeColumn));
        const ObjectPtr& value = inputRows.getValue(i, valueColumn);
        const std::string column = Object::toText(inputRows.getValue(i, "ColSysName"));
        // A missing value would reach the model as a missing input it cannot classify.
        if (!value)
            throw SystemException(place, "Не задано значение входной колонки: " + column);
        values->add(converted(value, type, column));
    }
    return values;
}

}  // namespace TaskObject
