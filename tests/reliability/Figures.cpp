#include "tests/reliability/Figures.h"

#include <cctype>

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

std::string figureSuffix(const std::string& backendName)
{
    std::string suffix = backendName;
    for (char& c : suffix)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix;
}

}  // namespace reliability
