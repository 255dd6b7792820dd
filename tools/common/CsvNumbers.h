#pragma once
// The numbers of a spreadsheet export, whichever decimal separator it was written with.

#include <optional>
#include <string>

// The number of a field whose decimal separator is decimal ('.', ',' or 0 for either of
// them); none for a missing or blank field. Raises Exception starting with where for a
// text that is no finite number, with the option that helps or else remedy.
std::optional<double> csvNumber(const std::optional<std::string>& field, char decimal, const std::string& where,
                                const std::string& remedy);
