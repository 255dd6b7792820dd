#include "tests/reliability/Figures.h"

#include <cstdlib>
#include <filesystem>

#include "tests/support/Process.h"

namespace reliability {

void writeFigures(const std::string& file, const Figures& figures)
{
    const char* dir = std::getenv("DODOZ_FIGURES_DIR");
    if (!dir || !*dir)
        return;
    std::string line;
    for (const auto& [name, value] : figures)
        line += (line.empty() ? "" : " ") + name + "=" + value;
    std::filesystem::create_directories(dir);
    testsupport::writeFile(std::filesystem::path(dir) / (file + ".figures"), line + "\n");
}

}  // namespace reliability
