#include "tools/common/CsvTable.h"

#include <algorithm>

#include "runtime/Runtime.h"

namespace {

class Parser {
public:
    Parser(std::istream& in, const std::string& source, char delimiter)
        : in(in), source(source), delimiter(delimiter)
    {
    }

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
            if (c == delimiter) {
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
                fail("text after a closing quote; quote the whole field and double each quote inside it");
            if (c == '"')
                fail("a quote inside an unquoted field; quote the whole field and double each quote inside it");
            if (c == '\0')
                fail("a NUL byte; a UTF-16 file needs --encoding UTF-16");
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
                fail("a quoted field is not closed; close it with a quote");
            if (c == '"') {
                if (in.peek() != '"')
                    return;
                in.get();
            } else if (c == '\n') {
                ++line;
            } else if (c == '\0') {
                fail("a NUL byte; a UTF-16 file needs --encoding UTF-16");
            }
            field.push_back(static_cast<char>(c));
        }
    }

    std::istream& in;
    const std::string& source;
    char delimiter;
    int line = 1;
};

// The separator the header line uses most often outside quotes; a comma when it uses none.
char detectDelimiter(std::istream& in, const std::string& sourceName)
{
    const std::streampos start = in.tellg();
    std::string line;
    bool quoted = false;
    int c;
    while ((c = in.get()) != EOF && (quoted || (c != '\n' && c != '\r'))) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted)
            line.push_back(static_cast<char>(c));
    }
    in.clear();
    in.seekg(start);
    if (!in)
        throw Exception(sourceName + ": the input cannot be read twice to find its separator; give --delimiter");
    char best = ',';
    long bestCount = 0;
    for (char candidate : {',', ';', '\t'}) {
        const long count = std::count(line.begin(), line.end(), candidate);
        if (count > bestCount) {
            best = candidate;
            bestCount = count;
        }
    }
    return best;
}

}  // namespace

std::string delimiterName(char delimiter)
{
    if (delimiter == '\t')
        return "a tab";
    return std::string("'") + delimiter + "'";
}

CsvTable CsvTable::read(std::istream& in, const std::string& sourceName, char delimiter)
{
    CsvTable table;
    if (in.peek() == 0xEF) {
        char bom[3] = {};
        const std::streampos start = in.tellg();
        in.read(bom, 3);
        if (std::string(bom, 3) != "\xEF\xBB\xBF") {
            in.clear();
            in.seekg(start);
        }
    }
    table.delimiter = delimiter ? delimiter : in.peek() == EOF ? ',' : detectDelimiter(in, sourceName);
    Parser parser(in, sourceName, table.delimiter);
    std::vector<std::optional<std::string>> fields;
    if (!parser.record(fields))
        throw Exception(sourceName + ": the file is empty, a header row is needed");
    for (auto& f : fields) {
        if (!f || Trim(*f).empty())
            parser.fail("the header has an empty column name; give every column a name");
        table.header.push_back(Trim(*f));
    }
    while (parser.record(fields)) {
        // A blank line (one empty field) ends nothing and holds nothing.
        if (fields.size() == 1 && !fields[0])
            continue;
        if (fields.size() != table.header.size())
            parser.fail(std::to_string(fields.size()) + " fields where the header has " +
                        std::to_string(table.header.size()) + " (separated by " + delimiterName(table.delimiter) +
                        "); if the file uses another separator, give --delimiter");
        table.rows.push_back(fields);
        table.lineNumbers.push_back(parser.startLine);
    }
    return table;
}
