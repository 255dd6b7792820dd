#pragma once
// A comma-separated table as users export it: a header row, then data rows with the
// same number of fields. Fields may be quoted with double quotes (a doubled quote
// inside stands for one); an empty field is a missing value. Texts stay as they are
// in the file (UTF-8).

#include <istream>
#include <optional>
#include <string>
#include <vector>

struct CsvTable {
    std::vector<std::string> header;
    std::vector<std::vector<std::optional<std::string>>> rows;
    std::vector<int> lineNumbers;  // the file line each row started on, for messages

    // Raises Exception naming the source and the line of the first malformed row.
    static CsvTable read(std::istream& in, const std::string& sourceName);
};
