// dodoz-results: what the last run of dodoz left for a task, read from the repository
// (the data source MIRELON, found the way dodoz finds it: ODBCINI and ODBCSYSINI).
// Exit status 0 when the task holds a complete run's results, 3 when it does not, 1 on
// an error, 2 on a wrong command line.

#include <getopt.h>

#include <clocale>
#include <cstdlib>
#include <iostream>

#include "repository/odbc/OdbcConnection.h"
#include "runtime/Runtime.h"
#include "tools/results/TaskResults.h"

namespace {

const char* const kUsage =
    "Usage: dodoz-results [OPTION]... KEY\n"
    "Prints what the last run of dodoz wrote for task KEY: the chosen class, each class's\n"
    "share of the summed densities at the object, the estimated probability of a wrong\n"
    "answer (p_min) and whether the closing TskLog row says the run is complete.\n"
    "\n"
    "      --json              one JSON object instead of words, for scripts\n"
    "      --rows              the TskResult and TskLog rows as the host reads them\n"
    "      --repository=DSN    the repository's data source (default MIRELON)\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 complete results, 3 no complete results (not run yet, or the last\n"
    "run failed), 1 the repository cannot be read, 2 a wrong command line.\n";

constexpr const char* kProgram = "dodoz-results";

[[noreturn]] void usageError(const std::string& message)
{
    std::cerr << kProgram << ": " << message << "\nTry 'dodoz-results --help' for more information.\n";
    std::exit(2);
}

enum class Format { Words, Rows, Json };

struct Options {
    Format format = Format::Words;
    std::string repositoryDsn = "MIRELON";
    int key = 0;
};

Options parse(int argc, char** argv)
{
    enum { kJson = 256, kRows, kRepository };
    static const option longOptions[] = {{"json", no_argument, nullptr, kJson},
                                         {"rows", no_argument, nullptr, kRows},
                                         {"repository", required_argument, nullptr, kRepository},
                                         {"help", no_argument, nullptr, 'h'},
                                         {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":h", longOptions, nullptr)) != -1) {
        switch (c) {
        case kJson: o.format = Format::Json; break;
        case kRows: o.format = Format::Rows; break;
        case kRepository: o.repositoryDsn = optarg; break;
        case 'h': std::cout << kUsage; std::exit(0);
        case ':': usageError(std::string(argv[optind - 1]) + " needs a value");
        default:
            usageError(optopt ? std::string("unknown option -") + static_cast<char>(optopt)
                              : "unknown option " + std::string(argv[optind - 1]));
        }
    }
    if (optind >= argc)
        usageError("the task key is missing");
    if (optind + 1 < argc)
        usageError("one task key only: '" + std::string(argv[optind + 1]) + "' is one too many");
    try {
        o.key = StrToInt(argv[optind]);
    } catch (const Exception&) {
        usageError("the task key '" + std::string(argv[optind]) + "' is not a whole number");
    }
    if (o.repositoryDsn.empty())
        usageError("--repository needs a data source name");
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    const Options o = parse(argc, argv);
    TaskResults results;
    try {
        OdbcConnection repository;
        try {
            repository.open(OdbcConnection::connectionString(o.repositoryDsn, "", ""));
        } catch (const Exception& e) {
            throw Exception("cannot connect to the repository " + o.repositoryDsn + ": " + e.text() +
                            " (ODBCINI and ODBCSYSINI name the ini files that define it)");
        }
        results = TaskResults::read(repository, o.key);
    } catch (const Exception& e) {
        std::cerr << kProgram << ": " << Cp1251ToUtf8(e.text()) << "\n";
        return 1;
    }
    switch (o.format) {
    case Format::Words: std::cout << results.inWords(); break;
    case Format::Rows: std::cout << results.asRows(); break;
    case Format::Json: std::cout << results.asJson(); break;
    }
    return results.complete() ? 0 : 3;
}
