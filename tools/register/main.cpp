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
#include "tools/register/Registration.h"
#include "tools/register/TextInput.h"

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
    "  -i, --inputs=A,B,...    the input columns (default: every column but the class);\n"
    "                          the others are left out\n"
    "  -t, --table=NAME        the source table to create (default: the file's name)\n"
    "  -n, --task-name=TEXT    the task's name\n"
    "  -d, --delimiter=SEP     the field separator: ',', ';', 'tab' (default: the one\n"
    "                          the header line uses)\n"
    "      --decimal=SEP       the decimal separator of the numbers, '.' or ','\n"
    "                          (default '.'; either of them when the separator is ';')\n"
    "  -e, --encoding=NAME     the file's encoding when it is not UTF-8 (cp1251, latin1, ...)\n"
    "      --replace           replace an existing table of that name, even one other\n"
    "                          tasks read (they then read the new data)\n"
    "      --repository=DSN    the repository's data source (default MIRELON)\n"
    "      --source=DSN        the source database's data source (default DODOZ_SOURCE)\n"
    "  -h, --help              this text\n"
    "\n"
    "Column names that are not plain names (letters, digits and _) are stored under a\n"
    "plain form; the names used are printed on stderr. Empty fields are missing values.\n"
    "Nothing is written when anything is refused.\n";

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
    std::cerr << kProgram << ": " << message << "\nTry 'dodoz-register --help' for more information.\n";
    std::exit(2);
}

char separatorOption(const std::string& value, const char* option)
{
    if (value == "," || value == "comma")
        return ',';
    if (value == ";" || value == "semicolon")
        return ';';
    if (value == "\t" || value == "tab" || value == "\\t")
        return '\t';
    usageError(std::string(option) + " takes ',', ';' or 'tab', not '" + value + "'");
}

struct Options {
    RegistrationRequest request;
    std::string csvPath;
    std::string objectText;
    bool haveObject = false;
    char delimiter = 0;
    char decimal = 0;  // 0: not given
    std::string encoding;
};

Options parse(int argc, char** argv)
{
    enum { kDecimal = 256, kReplace, kRepository, kSource };
    static const option longOptions[] = {
        {"csv", required_argument, nullptr, 'f'},       {"class", required_argument, nullptr, 'c'},
        {"object", required_argument, nullptr, 'o'},    {"inputs", required_argument, nullptr, 'i'},
        {"table", required_argument, nullptr, 't'},     {"task-name", required_argument, nullptr, 'n'},
        {"delimiter", required_argument, nullptr, 'd'}, {"decimal", required_argument, nullptr, kDecimal},
        {"encoding", required_argument, nullptr, 'e'},  {"replace", no_argument, nullptr, kReplace},
        {"repository", required_argument, nullptr, kRepository},
        {"source", required_argument, nullptr, kSource}, {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":f:c:o:i:t:n:d:e:h", longOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        switch (c) {
        case 'f': o.csvPath = value; break;
        case 'c': o.request.classColumn = value; break;
        case 'o': o.objectText = value; o.haveObject = true; break;
        case 'i':
            for (const std::string& name : split(value, ','))
                o.request.inputColumns.push_back(Trim(name));
            break;
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
        case ':': usageError(std::string(argv[optind - 1]) + " needs a value");
        default:
            usageError(optopt ? std::string("unknown option -") + static_cast<char>(optopt)
                              : "unknown option " + std::string(argv[optind - 1]));
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
    if (o.request.repositoryDsn.empty() || o.request.sourceDsn.empty())
        usageError("--repository and --source need a data source name");
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        std::setlocale(LC_ALL, "");
        setFormatSettings(FormatSettings::fromLocale());
        std::setlocale(LC_NUMERIC, "C");
        Options o = parse(argc, argv);
        RegistrationRequest& request = o.request;
        std::istringstream text(textToUtf8(readExport(o.csvPath), o.encoding, o.csvPath));
        request.csvName = o.csvPath;
        request.csv = CsvTable::read(text, o.csvPath, o.delimiter);
        request.decimal = o.decimal ? o.decimal : request.csv.delimiter == ';' ? 0 : '.';
        // With decimal commas the values of the object are separated by semicolons.
        request.objectValues = split(o.objectText, o.objectText.find(';') != std::string::npos ? ';' : ',');
        if (request.table.empty()) {
            request.table = std::filesystem::path(o.csvPath).stem().string();
            request.tableFromFileName = true;
        }
        RegistrationPlan plan = planRegistration(request);
        const int key = registerTask(plan, request.repositoryDsn, request.sourceDsn);
        for (const auto& note : plan.notes)
            std::cerr << kProgram << ": " << note << "\n";
        std::cout << key << "\n";
        return 0;
    } catch (const Exception& e) {
        std::cerr << kProgram << ": " << e.text() << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << kProgram << ": out of memory (the export is too large to register at once)\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": unexpected error: " << e.what() << "\n";
        return 1;
    } catch (...) {
        std::cerr << kProgram << ": unexpected error of an unknown kind\n";
        return 1;
    }
}
