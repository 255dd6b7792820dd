#pragma once
// A list of columns on the command line, as --inputs and --exclude take it: items
// separated by commas; an item in double quotes is a name that may hold commas
// ("Алкоголь, %"); an item that is no column's name but a whole number is the column
// at that position of the header (1 is the first).

#include <string>
#include <vector>

struct ColumnItem {
    std::string text;
    bool quoted = false;
};

// Raises Exception for an unclosed quote or an empty item.
std::vector<ColumnItem> parseColumnList(const std::string& list, const char* option);

// The header names the items stand for, in their order. Raises Exception naming the
// item that is no column and what the header holds.
std::vector<std::string> resolveColumns(const std::vector<ColumnItem>& items, const std::vector<std::string>& header,
                                        const char* option);
