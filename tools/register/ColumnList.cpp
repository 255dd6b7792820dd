#include "tools/register/ColumnList.h"

#include <algorithm>

#include "runtime/Runtime.h"

std::vector<ColumnItem> parseColumnList(const std::string& list, const char* option)
{
    std::vector<ColumnItem> items;
    std::size_t at = 0;
    while (at <= list.size()) {
        while (at < list.size() && list[at] == ' ')
            ++at;
        ColumnItem item;
        std::size_t end;
        if (at < list.size() && list[at] == '"') {
            end = list.find('"', at + 1);
            if (end == std::string::npos)
                throw Exception(std::string(option) + ": the quote before '" + list.substr(at + 1) + "' is not closed");
            item = {list.substr(at + 1, end - at - 1), true};
            end = list.find(',', end + 1);
        } else {
            end = list.find(',', at);
            item = {Trim(list.substr(at, end == std::string::npos ? std::string::npos : end - at)), false};
        }
        if (item.text.empty())
            throw Exception(std::string(option) + " has an empty column name in '" + list + "'");
        items.push_back(item);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return items;
}

std::vector<std::string> resolveColumns(const std::vector<ColumnItem>& items, const std::vector<std::string>& header,
                                        const char* option)
{
    std::vector<std::string> names;
    for (const auto& item : items) {
        if (item.quoted || std::find(header.begin(), header.end(), item.text) != header.end()) {
            names.push_back(item.text);
            continue;
        }
        const std::optional<int> position = parseWhole<int>(item.text);
        if (position && *position >= 1 && *position <= static_cast<int>(header.size())) {
            names.push_back(header[static_cast<std::size_t>(*position - 1)]);
            continue;
        }
        std::string held;
        for (std::size_t j = 0; j < header.size(); ++j)
            held += (j ? ", " : "") + std::to_string(j + 1) + " '" + header[j] + "'";
        throw Exception(std::string(option) + ": '" + item.text + "' is no column of the file (" + held +
                        "); give names, in double quotes when they hold a comma, or numbers");
    }
    return names;
}
