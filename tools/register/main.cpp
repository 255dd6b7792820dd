// dodoz-register: registers a CSV file as a dataset with one classification task in a
// repository reached through ODBC, and prints the new task key (the only output on
// stdout, for scripts; notes and errors go to stderr).

#include <getopt.h>

#include <clocale>
#include <filesystem>
#include <iostream>
#include <new>
#include <sstream>

#include "runtime/Runtime.h"
#include "tools/register/ColumnList.h"
#include "tools/register/PreCheck.h"
#include "tools/register/Registration.h"
#include "tools/common/TextInput.h"
#include "tools/common/ToolMain.h"

namespace {

const char* const kUsage =
    "Usage: dodoz-register [OPTION]... --class COLUMN --object V1,V2,... FILE\n"
    "Registers FILE (a CSV export with a header row) as a dataset with a task that\n"
    "classifies one object, and prints the new task key.\n"
    "\n"
    "  -f, --csv=FILE          the file (or give it as the argument)\n"
    "  -c, --class=COLUMN      the header name of the class column; integer codes are\n"
    "                          kept, text labels are coded 0, 1, ... in the order they\n"
    "                          first appear (the codes are printed and put in the task's name)\n"
    "  -o, --object=V1,V2,...  the object to classify: one value per input column, in\n"
    "                          the order of the inputs; with decimal commas separate the\n"
    "                          values with semicolons (--object '13,2;1,78;...')\n"
    "  -i, --inputs=A,B,...    the input columns (default: every column but the class),\n"
    "                          by name or by number (1 is the first column); a name\n"
    "                          holding a comma in double quotes: --inputs '1,\"Alcohol, %\"'\n"
    "  -x, --exclude=A,B,...   every column but the class and these is an input\n"
    "  -t, --table=NAME        the source table to create (default: the file's name)\n"
    "  -n, --task-name=TEXT    the task's name\n"
    "  -d, --delimiter=SEP     the field separator: ',', ';', 'tab' (default: the one\n"
    "                          the header line uses)\n"
    "      --decimal=SEP       the decimal separator of the numbers, '.' or ','\n"
    "                          (default '.'; either of them when the separator is ';')\n"
    "  -e, --encoding=NAME     the file's encoding when it is not UTF-8 (cp1251, latin1, ...)\n"
    "      --force             register a task the check finds cannot work (an input of\n"
    "                          zero deviation, rows no window reaches at c = 3.00)\n"
    "      --replace           replace an existing table of that name, even one other\n"
    "                          tasks read (they then read the new data)\n"
    "      --repository=DSN    the repository's data source (default MIRELON)\n"
    "      --source=DSN        the source database's data source (default DODOZ_SOURCE)\n"
    "  -h, --help              this text\n"
    "\n"
    "Column names that are not plain names (letters, digits and _) are stored under a\n"
    "plain form; the names used are printed on stderr. Empty fields are missing values.\n"
    "Nothing is written when anything is refused. Before writing, the task is fitted as\n"
    "dodoz fits it: a task that cannot work is refused with the reason and what to do.\n"
    "The object's values are stored with the decimal separator of these regional\n"
    "settings, and dodoz must run under settings with the same separator (stderr says\n"
    "which).\n";

constexpr const char* kProgram = "dodoz-register";

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at - start));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

[[noreturn]] void usageError(const std::string& message)
{
    toolUsageError(kProgram, message);
}

char separatorOption(const std::string& value, const char* option)
{
    return ::separatorOption(kProgram, value, option);
}

std::vector<ColumnItem> columnList(const std::string& value, const char* option)
{
    try {
        return parseColumnList(value, option);
    } catch (const Exception& e) {
        usageError(e.text());
    }
}

struct Options {
    RegistrationRequest request;
    std::vector<ColumnItem> inputs;
    std::vector<ColumnItem> excluded;
    bool force = false;
    std::string csvPath;
    std::string objectText;
    bool haveObject = false;
    char delimiter = 0;
    char decimal = 0;  // 0: not given
    std::string encoding;
};

Options parse(int argc, char** argv)
{
    enum { kDecimal = 256, kReplace, kRepository, kSource, kForce };
    static const option longOptions[] = {
        {"csv", required_argument, nullptr, 'f'},       {"class", required_argument, nullptr, 'c'},
        {"object", required_argument, nullptr, 'o'},    {"inputs", required_argument, nullptr, 'i'},
        {"exclude", required_argument, nullptr, 'x'},   {"force", no_argument, nullptr, kForce},
        {"table", required_argument, nullptr, 't'},     {"task-name", required_argument, nullptr, 'n'},
        {"delimiter", required_argument, nullptr, 'd'}, {"decimal", required_argument, nullptr, kDecimal},
        {"encoding", required_argument, nullptr, 'e'},  {"replace", no_argument, nullptr, kReplace},
        {"repository", required_argument, nullptr, kRepository},
        {"source", required_argument, nullptr, kSource}, {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":f:c:o:i:x:t:n:d:e:h", longOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        switch (c) {
        case 'f': o.csvPath = value; break;
        case 'c': o.request.classColumn = value; break;
        case 'o': o.objectText = value; o.haveObject = true; break;
        case 'i': o.inputs = columnList(value, "--inputs"); break;
        case 'x': o.excluded = columnList(value, "--exclude"); break;
        case kForce: o.force = true; break;
        case 't': o.request.table = value; break;
        case 'n': o.request.taskName = value; break;
        case 'd': o.delimiter = separatorOption(value, "--delimiter"); break;
        case kDecimal:
            o.decimal = separatorOption(value, "--decimal");
            if (o.decimal == '\t')
                usageError("--decimal takes '.' or ','");
            break;
        case 'e': o.encoding = value; break;
        case kReplace: o.request.replace = true; break;
        case kRepository: o.request.repositoryDsn = value; break;
        case kSource: o.request.sourceDsn = value; break;
        case 'h': std::cout << kUsage; std::exit(0);
        default: optionError(kProgram, c, argv);
        }
    }
    if (optind < argc) {
        if (!o.csvPath.empty() || optind + 1 < argc)
            usageError("one file only: '" + std::string(argv[optind]) + "' is one too many");
        o.csvPath = argv[optind];
    }
    if (o.csvPath.empty())
        usageError("the file is missing (give it as the argument or with --csv FILE)");
    if (o.request.classColumn.empty())
        usageError("--class is missing (the header name of the class column)");
    if (!o.haveObject)
        usageError("--object is missing (the object to classify, one value per input column)");
    if (!o.inputs.empty() && !o.excluded.empty())
        usageError("--inputs and --exclude choose the same columns; give one of them");
    if (o.request.repositoryDsn.empty() || o.request.sourceDsn.empty())
        usageError("--repository and --source need a data source name");
    return o;
}

// The regional decimal separator the object's values are stored with, which the run
// must read them with, and the settings' name.
std::string decimalNote(const std::string& settings)
{
    const char separator = formatSettings().decimalSeparator;
    return std::string("the object's values are stored with the decimal separator '") + separator +
           "' of these regional settings (" + settings + "); run dodoz under settings whose decimal separator is '" +
           separator + "' as well, or register the task again under the run's settings";
}

RegistrationRequest requestOf(Options& o)
{
    RegistrationRequest request = o.request;
    std::istringstream text(textToUtf8(readExport(o.csvPath), o.encoding, o.csvPath));
    request.csvName = o.csvPath;
    request.csv = CsvTable::read(text, o.csvPath, o.delimiter);
    request.inputColumns = resolveColumns(o.inputs, request.csv.header, "--inputs");
    request.excludedColumns = resolveColumns(o.excluded, request.csv.header, "--exclude");
    request.decimal = o.decimal ? o.decimal : request.csv.delimiter == ';' ? 0 : '.';
    // With decimal commas the values of the object are separated by semicolons.
    request.objectValues = split(o.objectText, o.objectText.find(';') != std::string::npos ? ';' : ',');
    if (request.table.empty()) {
        request.table = std::filesystem::path(o.csvPath).stem().string();
        request.tableFromFileName = true;
    }
    return request;
}

void check(const RegistrationPlan& plan, bool force)
{
    const PreCheck check = PreCheck::of(plan);
    if (check.passes())
        return;
    if (!force)
        throw Exception("the task cannot work, so nothing is written (--force registers it all the same):\n" +
                        check.findings());
    std::cerr << kProgram << ": registered although the task cannot work:\n" << check.findings();
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool(kProgram, [&] {
        Options o = parse(argc, argv);
        const RegistrationRequest request = requestOf(o);
        RegistrationPlan plan = planRegistration(request);
        check(plan, o.force);
        const int key = registerTask(plan, request.repositoryDsn, request.sourceDsn);
        for (const auto& note : plan.notes)
            std::cerr << kProgram << ": " << note << "\n";
        std::cerr << kProgram << ": " << decimalNote(regionalSettingsName()) << "\n";
        std::cout << key << "\n";
        return 0;
    });
}
