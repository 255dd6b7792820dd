// dodoz-classify: every object of a file classified with the model of one task, the
// width factor searched once, as dodoz would classify each of them as its task's object.
// Nothing is written to the repository.

#include <getopt.h>

#include <iostream>

#include "runtime/Runtime.h"
#include "tools/classify/Classification.h"
#include "tools/common/ClassLabels.h"
#include "tools/common/StoredTask.h"
#include "tools/common/ToolMain.h"

namespace {

constexpr const char* kProgram = "dodoz-classify";

const char* const kUsage =
    "Usage: dodoz-classify [OPTION]... KEY --objects FILE\n"
    "Fits the model of task KEY as dodoz does (data source MIRELON; one search of c) and\n"
    "classifies every object of FILE with it: per object the class (with its label) and\n"
    "each class's share of the summed class densities, the numbers dodoz would write for\n"
    "a task with that object. Nothing is written to the repository.\n"
    "\n"
    "  -o, --objects=FILE      a CSV export with a header row holding the task's input\n"
    "                          columns by name (other columns are left alone)\n"
    "      --csv               CSV instead of words\n"
    "      --json              one JSON object per line instead of words\n"
    "  -d, --delimiter=SEP     the field separator: ',', ';', 'tab' (default: the one\n"
    "                          the header line uses)\n"
    "      --decimal=SEP       the decimal separator, '.' or ',' (default '.'; either of\n"
    "                          them when the separator is ';')\n"
    "  -e, --encoding=NAME     the file's encoding when it is not UTF-8 (cp1251, latin1, ...)\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 classified, 1 the task or the file cannot be read or the search has\n"
    "no result, 2 a wrong command line.\n";

enum class Format { Words, Csv, Json };

struct Options {
    int key = 0;
    std::string objectsPath;
    Format format = Format::Words;
    ObjectFile::Format file;
};

Options parse(int argc, char** argv)
{
    enum { kCsv = 256, kJson, kDecimal };
    static const option longOptions[] = {
        {"objects", required_argument, nullptr, 'o'}, {"csv", no_argument, nullptr, kCsv},
        {"json", no_argument, nullptr, kJson},        {"delimiter", required_argument, nullptr, 'd'},
        {"decimal", required_argument, nullptr, kDecimal}, {"encoding", required_argument, nullptr, 'e'},
        {"help", no_argument, nullptr, 'h'},          {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":o:d:e:h", longOptions, nullptr)) != -1) {
        const std::string value = optarg ? optarg : "";
        switch (c) {
        case 'o': o.objectsPath = value; break;
        case kCsv: o.format = Format::Csv; break;
        case kJson: o.format = Format::Json; break;
        case 'd': o.file.delimiter = separatorOption(kProgram, value, "--delimiter"); break;
        case kDecimal:
            o.file.decimal = separatorOption(kProgram, value, "--decimal");
            if (o.file.decimal == '\t')
                toolUsageError(kProgram, "--decimal takes '.' or ','");
            break;
        case 'e': o.file.encoding = value; break;
        case 'h': std::cout << kUsage; std::exit(0);
        default: optionError(kProgram, c, argv);
        }
    }
    o.key = taskKeyArgument(kProgram, argc, argv);
    if (o.objectsPath.empty())
        toolUsageError(kProgram, "--objects FILE is missing (the objects to classify)");
    return o;
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool(kProgram, [&] {
        const Options o = parse(argc, argv);
        const StoredTask task = StoredTask::read(o.key);
        const ObjectFile objects = ObjectFile::read(o.objectsPath, inputNamesOf(*task.sample), o.file);
        FittedSample fitted(task.sample);
        std::vector<std::string> labels;
        for (const auto& label : classLabelsOf(task.name, static_cast<std::size_t>(fitted.classCount())))
            labels.push_back(Cp1251ToUtf8(label));
        const Classification result = Classification::of(fitted, objects, labels, o.key);
        switch (o.format) {
        case Format::Words: std::cout << result.inWords(); break;
        case Format::Csv: std::cout << result.asCsv(); break;
        case Format::Json: std::cout << result.asJsonLines(); break;
        }
        return 0;
    });
}
