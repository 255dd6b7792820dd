#pragma once
// The figures a reliability test reports for the summary of scripts/reliability: one
// line of name=count pairs ("kills_sqlite=14 partial=0 failed_followups=0") in
// DODOZ_FIGURES_DIR/<file>.figures. The summary adds up each name over all files.
// Nothing is written when the variable is not set.

#include <string>
#include <utility>
#include <vector>

namespace reliability {

using Figures = std::vector<std::pair<std::string, std::string>>;

void writeFigures(const std::string& file, const Figures& figures);
// The database's part of a figure's name: "sqlite", "postgresql", "mariadb".
std::string figureSuffix(const std::string& backendName);

}  // namespace reliability
