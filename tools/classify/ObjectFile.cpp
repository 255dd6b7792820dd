#include "tools/classify/ObjectFile.h"

#include <sstream>

#include "objects/Values.h"
#include "runtime/Runtime.h"
#include "tools/common/CsvNumbers.h"
#include "tools/common/CsvTable.h"
#include "tools/common/TextInput.h"

namespace {

bool sameName(const std::string& header, const std::string& input)
{
    const std::string stored = isPlainName(header) ? header : makePlainName(header, "c_");
    auto upper = [](const std::string& utf8) { return AnsiUpperCase(Utf8ToCp1251(utf8)); };
    try {
        return upper(header) == upper(input) || upper(stored) == upper(input);
    } catch (const Exception&) {
        return header == input;
    }
}

std::vector<std::size_t> inputColumns(const CsvTable& csv, const std::vector<std::string>& inputs,
                                      const std::string& path)
{
    std::vector<std::size_t> at;
    for (const auto& input : inputs) {
        std::size_t found = csv.header.size();
        for (std::size_t j = 0; j < csv.header.size(); ++j) {
            if (!sameName(csv.header[j], input))
                continue;
            if (found != csv.header.size())
                throw Exception(path + ", line 1: two columns are named like the input column '" + input +
                                "'; rename one of them");
            found = j;
        }
        if (found == csv.header.size())
            throw Exception(path + ": there is no column '" + input + "'; the objects need every input column of "
                            "the task by name");
        at.push_back(found);
    }
    return at;
}

}  // namespace

ObjectFile ObjectFile::read(const std::string& path, const std::vector<std::string>& inputs, const Format& format)
{
    std::istringstream text(textToUtf8(readExport(path), format.encoding, path));
    const CsvTable csv = CsvTable::read(text, path, format.delimiter);
    const char decimal = format.decimal ? format.decimal : csv.delimiter == ';' ? 0 : '.';
    const std::vector<std::size_t> columns = inputColumns(csv, inputs, path);
    if (csv.rows.empty())
        throw Exception(path + ": there are no objects below the header");
    ObjectFile file;
    for (std::size_t i = 0; i < csv.rows.size(); ++i) {
        const std::string line = path + ", line " + std::to_string(csv.lineNumbers[i]);
        auto object = std::make_shared<Vector>(10, 2);
        for (std::size_t j = 0; j < columns.size(); ++j) {
            const std::string where = line + ", column " + csv.header[columns[j]];
            const auto value = csvNumber(csv.rows[i][columns[j]], decimal, where, "give a number");
            if (!value)
                throw Exception(where + " is empty; every input of an object needs a value");
            object->add(std::make_shared<CDouble>(*value));
        }
        file.objects.push_back(object);
        file.lines.push_back(csv.lineNumbers[i]);
    }
    return file;
}
