#include "repository/SampleSql.h"

#include <string_view>

#include "core/Utils.h"
#include "runtime/Runtime.h"

namespace SampleSql {

namespace {

bool latinLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// cp1251: А to я, Ё and ё.
bool cyrillicLetter(unsigned char c)
{
    return c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

bool nameCharacter(unsigned char c)
{
    return latinLetter(c) || cyrillicLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

// The refusal older than the plain-name rule, which keeps its own message: a quote, a
// semicolon, a comment or a control character in the name.
bool alteringColumnName(const std::string& name)
{
    std::string_view inner = name;
    if (inner.size() >= 2 && inner.front() == '"' && inner.back() == '"')
        inner = inner.substr(1, inner.size() - 2);
    for (unsigned char c : inner)
        if (c < 32 || c == '\'' || c == '"' || c == '`' || c == ';')
            return true;
    for (const char* comment : {"--", "/*", "*/"})
        if (inner.find(comment) != std::string_view::npos)
            return true;
    return false;
}

// Whether a byte next to "INTO" makes it part of a longer name on every database, and
// so no keyword: before it a letter, an underscore, a dollar or any byte past ASCII;
// after it a Latin letter, a digit or an underscore. Digits before it do not count
// (MariaDB reads "/*!50000INTO" as INTO), nor anything else after it.
bool continuesBefore(unsigned char c)
{
    return latinLetter(c) || c >= 0x80 || c == '_' || c == '$';
}

bool continuesAfter(unsigned char c)
{
    return latinLetter(c) || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

bool plainColumnName(const std::string& name)
{
    if (name.size() >= 3 && name.front() == '"' && name.back() == '"') {
        for (unsigned char c : std::string_view(name).substr(1, name.size() - 2))
            if (!nameCharacter(c) && c != ' ')
                return false;
        return true;
    }
    if (name.empty() || (name.front() >= '0' && name.front() <= '9'))
        return false;
    for (unsigned char c : name)
        if (!nameCharacter(c))
            return false;
    return true;
}

// psqlODBC runs each statement of a text in turn. A semicolon inside a literal or a
// comment is refused as well, since which quotes and comments count differs from one
// database to the next.
bool singleStatement(const std::string& sql)
{
    std::string text = Trim(sql);
    if (!text.empty() && text.back() == ';')
        text.pop_back();
    return text.find(';') == std::string::npos;
}

// In literals and comments too, for the reason the semicolon is refused there; no
// sample needs the word outside them.
bool holdsInto(const std::string& sql)
{
    const std::string upper = AnsiUpperCase(sql);
    for (size_t at = upper.find("INTO"); at != std::string::npos; at = upper.find("INTO", at + 1)) {
        const size_t end = at + 4;
        if ((at == 0 || !continuesBefore(static_cast<unsigned char>(upper[at - 1]))) &&
            (end == upper.size() || !continuesAfter(static_cast<unsigned char>(upper[end]))))
            return true;
    }
    return false;
}

std::string statement(const DataModel& columns, const std::string& dtsSql)
{
    int from = AnsiPos("FROM", dtsSql);
    std::string tail = from > 0 ? dtsSql.substr(static_cast<size_t>(from - 1)) : dtsSql;
    int nameColumn = columns.getColumnIndex("ColSysName");
    std::string list = "SELECT ";
    for (int i = 0; i < columns.getRowCount(); ++i) {
        const ObjectPtr& cell = columns.getValue(i, nameColumn);
        const std::string id = Object::toText(columns.getValue(i, "ColID"));
        const std::string name = cell ? cell->toString() : std::string();
        if (name.empty())
            throw SystemException(sampleLoadPlace, "Не задано имя колонки: ColID = " + id);
        if (alteringColumnName(name))
            throw SystemException(sampleLoadPlace, "Недопустимое имя колонки (кавычка, точка с запятой или комментарий SQL): " +
                                                       name + ", ColID = " + id);
        // Anything else would be an expression, which may call any function of the source.
        if (!plainColumnName(name))
            throw SystemException(sampleLoadPlace,
                                  "Имя колонки должно быть простым (буквы, цифры, _) или в двойных кавычках: " + name +
                                      ", ColID = " + id);
        list += name + ", ";
    }
    if (!singleStatement(tail))
        throw SystemException(sampleLoadPlace, "Точка с запятой допускается только в конце запроса набора данных: " + dtsSql);
    if (holdsInto(tail))
        throw SystemException(sampleLoadPlace,
                              "Слово INTO недопустимо в запросе набора данных: выборка не пишет ни в файл, ни в переменную, "
                              "ни в таблицу: " + dtsSql);
    return Utils::cutTail(list, 2) + " " + tail;
}

}  // namespace SampleSql
