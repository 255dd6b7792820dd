// The registration command's CSV reader: any input either reads into a rectangular
// table or is refused with an Exception that names the source; a table written back
// in CSV (every field quoted) reads to the same table.

#include <sstream>

#include "tools/common/CsvTable.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const std::string source = "fuzz.csv";

std::string quote(const std::string& field)
{
    std::string out = "\"";
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

std::string write(const CsvTable& table)
{
    std::string out;
    for (size_t i = 0; i < table.header.size(); ++i)
        out += (i ? "," : "") + quote(table.header[i]);
    for (const auto& row : table.rows) {
        out += '\n';
        for (size_t i = 0; i < row.size(); ++i)
            out += (i ? "," : "") + (row[i] ? quote(*row[i]) : std::string());
    }
    return out + '\n';
}

std::optional<CsvTable> read(const std::string& text)
{
    std::istringstream in(text);
    try {
        return CsvTable::read(in, source);
    } catch (const Exception& e) {
        fuzz::check(e.text().compare(0, source.size() + 1, source + ",") == 0
                        || e.text().compare(0, source.size() + 1, source + ":") == 0,
                    "errors name the source", e.text());
        return std::nullopt;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::optional<CsvTable> table = read(text);
    if (!table)
        return 0;

    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    fuzz::check(!table->header.empty(), "a table has a header", text);
    for (const auto& name : table->header)
        fuzz::check(!name.empty() && name == Trim(name), "column names are trimmed and not empty", name);
    fuzz::check(table->rows.size() == table->lineNumbers.size(), "one line number per row", text);
    int previous = 1;
    for (size_t r = 0; r < table->rows.size(); ++r) {
        fuzz::check(table->rows[r].size() == table->header.size(), "every row has the header's width", text);
        fuzz::check(table->lineNumbers[r] > previous && table->lineNumbers[r] <= lines,
                    "rows start on later lines of the input", text);
        previous = table->lineNumbers[r];
    }

    const std::string written = write(*table);
    std::optional<CsvTable> again = read(written);
    fuzz::check(again.has_value(), "a written table reads again", written);
    fuzz::check(again->header == table->header && again->rows == table->rows, "a written table reads the same",
                text + "\n----\n" + written);
    return 0;
}
