#pragma once
// A table as spreadsheets export it: a header row, then data rows with the same number
// of fields. The separator is a comma, a semicolon or a tab; unless given it is the one
// of those the header line holds most often outside quotes (a comma when it holds none).
// Fields may be quoted with double quotes (a doubled quote inside stands for one); an
// empty field is a missing value. A UTF-8 byte order mark at the start is dropped; texts
// stay as they are in the file (UTF-8).

#include <istream>
#include <optional>
#include <string>
#include <vector>

struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::optional<std::string>>> rows;
    std::vector<int> lineNumbers;  // the file line each row started on, for messages
    char delimiter = ',';          // the separator the file was read with

    // delimiter 0: detected from the header line. Raises Exception naming the source and
    // the line of the first malformed row.
    static CsvTable read(std::istream& in, const std::string& sourceName, char delimiter = 0);
};

// How a separator is written in messages: "','", "';'", "a tab".
std::string delimiterName(char delimiter);
