#include "tools/register/CsvTable.h"

#include "app/Runtime.h"

namespace {

class Parser {
public:
    Parser(std::istream& in, const std::string& source) : in(in), source(source) {}

    // One record; false at the end of the input. Fields are nullopt when empty and unquoted.
    bool record(std::vector<std::optional<std::string>>& fields)
    {
        fields.clear();
        int c = in.peek();
        if (c == EOF)
            return false;
        startLine = line;
        std::string field;
        bool quoted = false;
        bool any = false;
        for (;;) {
            c = in.get();
            if (c == EOF || c == '\n' || (c == '\r' && in.peek() == '\n')) {
                if (c == '\r')
                    in.get();
                fields.push_back(any || quoted ? std::optional<std::string>(field) : std::nullopt);
                ++line;
                return true;
            }
            if (c == ',') {
                fields.push_back(any || quoted ? std::optional<std::string>(field) : std::nullopt);
                field.clear();
                quoted = any = false;
                continue;
            }
            if (c == '"' && !any && !quoted) {
                quoted = true;
                readQuoted(field);
                continue;
            }
            if (quoted)
                fail("text after a closing quote");
            if (c == '"')
                fail("a quote inside an unquoted field");
            if (c == '\0')
                fail("a NUL byte");
            field.push_back(static_cast<char>(c));
            any = true;
        }
    }

    int startLine = 1;

    [[noreturn]] void fail(const std::string& what) const
    {
        throw Exception(source + ", line " + std::to_string(startLine) + ": " + what);
    }

private:
    void readQuoted(std::string& field)
    {
        for (;;) {
            int c = in.get();
            if (c == EOF)
                fail("a quoted field is not closed");
            if (c == '"') {
                if (in.peek() != '"')
                    return;
                in.get();
            } else if (c == '\n') {
                ++line;
            } else if (c == '\0') {
                fail("a NUL byte");
            }
            field.push_back(static_cast<char>(c));
        }
    }

    std::istream& in;
    const std::string& source;
    int line = 1;
};

}  // namespace

CsvTable CsvTable::read(std::istream& in, const std::string& sourceName)
{
    CsvTable table;
    Parser parser(in, sourceName);
    std::vector<std::optional<std::string>> fields;
    if (!parser.record(fields))
        throw Exception(sourceName + ": the file is empty, a header row is needed");
    for (auto& f : fields) {
        if (!f || Trim(*f).empty())
            parser.fail("the header has an empty column name");
        table.header.push_back(Trim(*f));
    }
    while (parser.record(fields)) {
        // A blank line (one empty field) ends nothing and holds nothing.
        if (fields.size() == 1 && !fields[0])
            continue;
        if (fields.size() != table.header.size())
            parser.fail(std::to_string(fields.size()) + " fields where the header has " +
                        std::to_string(table.header.size()));
        table.rows.push_back(fields);
        table.lineNumbers.push_back(parser.startLine);
    }
    return table;
}
