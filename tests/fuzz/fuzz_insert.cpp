// The INSERT texts of saveResult and saveLog rendered from any pack: the fixed head and
// tail around one value per column, each value read back from the SQL text equal to the
// pack's value under its column's name (NULL when absent or null), and no text able to
// leave its quotes. Statement texts need no database.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

#include "objects/DataPack.h"
#include "objects/Values.h"
#include "repository/RepApi.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// Reads the input from the front: fixed-width numbers and length-prefixed texts; past
// the end everything reads as zero.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool done() const { return pos >= size; }
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    template <class T>
    T number()
    {
        T value{};
        size_t n = std::min(sizeof value, size - std::min(pos, size));
        std::memcpy(&value, data + pos, n);
        pos += n;
        return value;
    }
    std::string text()
    {
        size_t length = std::min<size_t>(byte(), size - std::min(pos, size));
        std::string out(reinterpret_cast<const char*>(data + pos), length);
        pos += length;
        return out;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

struct Column {
    const char* name;
    bool quoted;
};

const std::vector<Column> resultColumns = {{"ResSysName", true}, {"ResOrder", false}, {"ResValue1", true},
                                           {"ResValue2", true},  {"ResValue3", true}, {"ColID", false},
                                           {"ResTableName", true}};
const std::vector<Column> logColumns = {{"LogType", false}, {"LogMessage", true}};

const char* const resultHead = "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, "
                               "ColID, ResTableName, TskID) VALUES( GetNextPK('TskResult'), ";
const char* const logHead = "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), ";

// The pack as the test sees it: the latest value under each name, names equal without
// regard to letter case.
struct Model {
    std::vector<std::pair<std::string, ObjectPtr>> entries;

    void put(const std::string& name, const ObjectPtr& value)
    {
        for (auto& entry : entries)
            if (AnsiUpperCase(entry.first) == AnsiUpperCase(name)) {
                entry.second = value;
                return;
            }
        entries.emplace_back(name, value);
    }
    ObjectPtr find(const std::string& name) const
    {
        for (const auto& entry : entries)
            if (AnsiUpperCase(entry.first) == AnsiUpperCase(name))
                return entry.second;
        return nullptr;
    }
};

std::string spelling(Reader& in)
{
    static const char* const names[] = {"ResSysName", "ResOrder", "ResValue1", "ResValue2",  "ResValue3",
                                        "ColID",      "ResTableName", "LogType", "LogMessage"};
    // The low four bits pick a name (9 and above: a text of the input), the next two
    // its letter case.
    uint8_t choice = in.byte();
    if ((choice & 0x0F) >= 9)
        return in.text();
    std::string name = names[choice & 0x0F];
    if (choice & 0x10)
        name = AnsiUpperCase(name);
    else if (choice & 0x20)
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

ObjectPtr value(Reader& in)
{
    switch (in.byte() % 6) {
    case 1: return std::make_shared<CInteger>(in.number<int32_t>());
    case 2: return std::make_shared<CDouble>(in.number<double>());
    case 3: return std::make_shared<CBoolean>(in.byte() & 1);
    case 4: return std::make_shared<CString>(in.text());
    case 5: return std::make_shared<CDate>(in.number<double>());
    default: return nullptr;
    }
}

// One value of the list: NULL, a quoted literal with doubled quotes, or a bare token up
// to the next separator. Nothing when the text there is none of them.
struct Item {
    std::string text;
    bool quoted = false;
    bool null = false;
};

std::optional<Item> readItem(const std::string& sql, size_t& pos)
{
    Item item;
    if (sql.compare(pos, 1, "'") == 0) {
        item.quoted = true;
        for (++pos;; ++pos) {
            if (pos >= sql.size())
                return std::nullopt;
            if (sql[pos] == '\'') {
                if (pos + 1 < sql.size() && sql[pos + 1] == '\'') {
                    item.text += '\'';
                    ++pos;
                    continue;
                }
                ++pos;
                return item;
            }
            item.text += sql[pos];
        }
    }
    size_t end = pos;
    while (end < sql.size() && sql.compare(end, 2, ", ") != 0 && sql.compare(end, 2, ");") != 0)
        ++end;
    item.text = sql.substr(pos, end - pos);
    item.null = item.text == "NULL";
    pos = end;
    return item;
}

bool isInteger(const ObjectPtr& v)
{
    return !v || v->getType() == TYPE_INTEGER;
}

void checkStatement(const char* what, const std::string& head, const std::vector<Column>& columns,
                    const Model& pack, int32_t taskId, const std::function<std::string()>& render)
{
    // A date beyond years 1 to 9999 has no text; rendering then fails as the date does.
    bool printable = true;
    bool bareIntegers = true;
    for (const auto& column : columns) {
        ObjectPtr v = pack.find(column.name);
        try {
            if (v)
                v->toString();
        } catch (const Exception&) {
            printable = false;
        }
        if (!column.quoted && !isInteger(v))
            bareIntegers = false;
    }
    std::string sql;
    try {
        sql = render();
    } catch (const Exception& e) {
        fuzz::check(!printable || !bareIntegers, what,
                    std::string("rendering fails only for unprintable values or non-integers in bare columns: ") + e.text());
        return;
    }
    fuzz::check(printable, what, "an unprintable value was rendered: " + sql);
    fuzz::check(bareIntegers, what, "a non-integer was rendered into a bare column: " + sql);

    const std::string tail = ", " + IntToStr(taskId) + ");";
    fuzz::check(sql.compare(0, head.size(), head) == 0, "the fixed head", sql);
    fuzz::check(sql.size() >= head.size() + tail.size() && sql.compare(sql.size() - tail.size(), tail.size(), tail) == 0,
                "the task key closes the statement", sql);
    size_t pos = head.size();
    for (size_t i = 0; i < columns.size(); ++i) {
        std::optional<Item> item = readItem(sql, pos);
        fuzz::check(item.has_value() && sql.compare(pos, 2, ", ") == 0, "one value per column",
                    std::string(columns[i].name) + " in " + sql);
        pos += 2;
        ObjectPtr v = pack.find(columns[i].name);
        if (!v) {
            fuzz::check(item->null && !item->quoted, "absent and null values are NULL",
                        std::string(columns[i].name) + " in " + sql);
            continue;
        }
        fuzz::check(item->quoted == columns[i].quoted, "quoting follows the column",
                    std::string(columns[i].name) + " in " + sql);
        fuzz::check(item->text == v->toString(), "a value reads back from its SQL text",
                    std::string(columns[i].name) + ": " + v->toString() + " in " + sql);
    }
    fuzz::check(sql.substr(pos) == IntToStr(taskId) + ");", "nothing follows the task key", sql);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    Reader in(data, size);
    fuzz::chooseSettings(in.byte());
    const int32_t taskId = in.number<int32_t>();

    DataPack pack;
    Model model;
    for (int n = 0; n < 32 && !in.done(); ++n) {
        std::string name = spelling(in);
        ObjectPtr v = value(in);
        pack.put(CString(name), v);
        model.put(name, v);
    }

    checkStatement("saveResult", resultHead, resultColumns, model, taskId,
                   [&] { return RepApi::resultStatement(pack, taskId); });
    checkStatement("saveLog", logHead, logColumns, model, taskId, [&] { return RepApi::logStatement(pack, taskId); });
    return 0;
}
