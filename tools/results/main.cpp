// dodoz-results: what the last run of dodoz left for one or more tasks, read from the
// repository (the data source MIRELON, found the way dodoz finds it: ODBCINI and
// ODBCSYSINI). Exit status 0 when every task holds a complete run's results, 3 when one
// does not, 4 when one does not exist, 1 on an error, 2 on a wrong command line.

#include <getopt.h>

#include <clocale>
#include <cstdlib>
#include <iostream>

#include "repository/odbc/OdbcConnection.h"
#include "runtime/Runtime.h"
#include "tools/common/ToolMain.h"
#include "tools/results/TaskResults.h"

namespace {

const char* const kUsage =
    "Usage: dodoz-results [OPTION]... KEY...\n"
    "       dodoz-results [OPTION]... --all\n"
    "Prints what the last run of dodoz wrote for task KEY: the chosen class, each class's\n"
    "share of the summed densities at the object, the estimated probability of a wrong\n"
    "answer (p_min) and whether the closing TskLog row says the run is complete. Several\n"
    "keys, or --all (every task with result or log rows), give one line per task.\n"
    "\n"
    "      --all               every task with result or log rows\n"
    "      --json              JSON instead of words: one object per task, one per line\n"
    "      --csv               CSV, one line per task after a header line\n"
    "      --rows              the TskResult and TskLog rows as the host reads them\n"
    "      --repository=DSN    the repository's data source (default MIRELON)\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 complete results, 3 no complete results for some task (not run yet,\n"
    "or the last run failed), 4 some task does not exist, 1 the repository cannot be\n"
    "read, 2 a wrong command line.\n";

constexpr const char* kProgram = "dodoz-results";
constexpr int kIncomplete = 3;
constexpr int kMissing = 4;

enum class Format { Words, Rows, Json, Csv };

struct Options {
    Format format = Format::Words;
    std::string repositoryDsn = "MIRELON";
    std::vector<int> keys;
    bool all = false;
};

Options parse(int argc, char** argv)
{
    enum { kJson = 256, kRows, kCsv, kAll, kRepository };
    static const option longOptions[] = {{"json", no_argument, nullptr, kJson},
                                         {"rows", no_argument, nullptr, kRows},
                                         {"csv", no_argument, nullptr, kCsv},
                                         {"all", no_argument, nullptr, kAll},
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
        case kCsv: o.format = Format::Csv; break;
        case kAll: o.all = true; break;
        case kRepository: o.repositoryDsn = optarg; break;
        case 'h': std::cout << kUsage; std::exit(0);
        default: optionError(kProgram, c, argv);
        }
    }
    o.keys = taskKeyArguments(kProgram, argc, argv, optind);
    if (o.keys.empty() && !o.all)
        toolUsageError(kProgram, "the task key is missing");
    if (!o.keys.empty() && o.all)
        toolUsageError(kProgram, "--all takes no task keys");
    if (o.repositoryDsn.empty())
        toolUsageError(kProgram, "--repository needs a data source name");
    return o;
}

std::string oneTask(const TaskResults& results, Format format)
{
    switch (format) {
    case Format::Words: return results.inWords();
    case Format::Rows: return results.asRows();
    case Format::Json: return results.asJson();
    case Format::Csv: return TaskResults::csvHeader() + results.asCsvLine();
    }
    return "";
}

std::string tableLine(const TaskResults& results, Format format)
{
    switch (format) {
    case Format::Json: return results.asJson();
    case Format::Csv: return results.asCsvLine();
    case Format::Rows: return "Task " + std::to_string(results.key) + "\n" + results.asRows() + "\n";
    case Format::Words: return results.asTableLine();
    }
    return "";
}

int printAll(OdbcConnection& repository, const Options& o)
{
    const std::vector<int> keys = o.all ? TaskResults::keysWithRows(repository) : o.keys;
    const bool table = o.all || keys.size() > 1;
    if (table && o.format == Format::Words)
        std::cout << TaskResults::tableHeader();
    if (table && o.format == Format::Csv)
        std::cout << TaskResults::csvHeader();
    int status = 0;
    for (int key : keys) {
        try {
            const TaskResults results = TaskResults::read(repository, key);
            std::cout << (table ? tableLine(results, o.format) : oneTask(results, o.format));
            if (!results.complete() && status == 0)
                status = kIncomplete;
        } catch (const NoSuchTask& e) {
            std::cout.flush();
            std::cerr << kProgram << ": " << e.text() << "\n";
            status = kMissing;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool(kProgram, [&] {
        const Options o = parse(argc, argv);
        try {
            OdbcConnection repository;
            try {
                repository.open(OdbcConnection::connectionString(o.repositoryDsn, "", ""));
            } catch (const Exception& e) {
                throw Exception("cannot connect to the repository " + o.repositoryDsn + ": " + e.text() +
                                " (ODBCINI and ODBCSYSINI name the ini files that define it)");
            }
            return printAll(repository, o);
        } catch (const Exception& e) {
            throw Exception(Cp1251ToUtf8(e.text()));
        }
    });
}
