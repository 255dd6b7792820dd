#include "app/Usage.h"

#include <string_view>

namespace {

// ASCII only: the program's own texts are cp1251, the terminal's may be anything.
const char* const kHelp =
    "usage: dodoz KEY\n"
    "       dodoz --help | --version\n"
    "\n"
    "Runs the analysis task KEY (a decimal integer) of the host's repository: reads the\n"
    "task from the ODBC data source MIRELON, loads its sample from the task's source\n"
    "data source, classifies the task's object and writes the results and a closing\n"
    "TskLog row back in one transaction. unixODBC finds the data sources through\n"
    "ODBCSYSINI and ODBCINI.\n"
    "\n"
    "The journal is log/Dodoz.log below the working directory (cp1251, recreated by\n"
    "every run). The exit status is always 0: the TskLog row tells whether the task was\n"
    "analysed. DODOZ_NO_GUI=1 shows the progress on stderr instead of in a window.\n"
    "\n"
    "Manual: man 1 dodoz\n";

}  // namespace

std::optional<int> answerUsageQuestion(int argc, char** argv, std::ostream& out)
{
    if (argc < 2)
        return std::nullopt;
    const std::string_view first = argv[1];
    if (first == "--help")
        out << kHelp;
    else if (first == "--version")
        out << "dodoz " << DODOZ_VERSION << '\n';
    else
        return std::nullopt;
    out.flush();
    return out ? 0 : 1;
}
