// dodoz-register: registers a CSV file as a dataset with one classification task in a
// repository reached through ODBC, and prints the new task key.

#include <clocale>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/Runtime.h"
#include "tools/register/Registration.h"

namespace {

const char* const kUsage =
    "usage: dodoz-register --csv FILE --class COLUMN --object V1,V2,...\n"
    "                      [--table NAME] [--task-name TEXT]\n"
    "                      [--repository DSN] [--source DSN]\n"
    "  FILE     comma-separated, a header row, numeric inputs, an integer class column;\n"
    "           empty fields are missing values\n"
    "  COLUMN   the header name of the class column\n"
    "  V1,...   the object to classify: one value per input column, in header order\n"
    "  NAME     the source table to create or replace (default: the file's name)\n"
    "  DSN      the repository (default MIRELON) and the source database (default DODOZ_SOURCE)\n";

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return parts;
        start = comma + 1;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    setFormatSettings(FormatSettings::fromLocale());
    std::setlocale(LC_NUMERIC, "C");

    RegistrationRequest request;
    std::string csvPath;
    bool haveObject = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            std::cerr << "dodoz-register: " << option << " needs a value\n" << kUsage;
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--csv") {
            csvPath = value;
        } else if (option == "--class") {
            request.classColumn = value;
        } else if (option == "--object") {
            request.objectValues = split(value);
            haveObject = true;
        } else if (option == "--table") {
            request.table = value;
        } else if (option == "--task-name") {
            request.taskName = value;
        } else if (option == "--repository") {
            request.repositoryDsn = value;
        } else if (option == "--source") {
            request.sourceDsn = value;
        } else {
            std::cerr << "dodoz-register: unknown option " << option << "\n" << kUsage;
            return 2;
        }
    }
    if (csvPath.empty() || request.classColumn.empty() || !haveObject) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        std::ifstream in(csvPath, std::ios::binary);
        if (!in)
            throw Exception("cannot open " + csvPath);
        request.csvName = csvPath;
        request.csv = CsvTable::read(in, csvPath);
        if (request.table.empty())
            request.table = std::filesystem::path(csvPath).stem().string();
        if (request.taskName.empty())
            request.taskName = "Classification of one object of " + request.table;
        RegistrationPlan plan = planRegistration(request);
        std::cout << registerTask(plan, request.repositoryDsn, request.sourceDsn) << "\n";
        return 0;
    } catch (const Exception& e) {
        std::cerr << "dodoz-register: " << Cp1251ToUtf8(e.text()) << "\n";
        return 1;
    }
}
