// dodoz-explain: why a run of dodoz chose its c and its class for a task, or why it found
// no c. It reads the task as dodoz does and repeats its search with the same classes and
// engine, writing nothing to the repository.

#include <getopt.h>

#include <fstream>
#include <iostream>

#include "runtime/Runtime.h"
#include "tools/common/ToolMain.h"
#include "tools/explain/CurvePlot.h"
#include "tools/explain/ExplanationText.h"

namespace {

constexpr const char* kProgram = "dodoz-explain";

const char* const kUsage =
    "Usage: dodoz-explain [OPTION]... KEY\n"
    "Reads task KEY from the repository as dodoz does (data source MIRELON), repeats its\n"
    "search of the width factor c with the same classes and engine and says why it chose\n"
    "its c and its class: c_min, I_min and the widths per input column; the covering limit\n"
    "(the smallest c at which every row has a window neighbour of some class) and the\n"
    "lowest error rate with undecided rows counted as errors; the leave-one-out confusion\n"
    "matrix at c_min; each class's density at the object, its rows inside the object's\n"
    "window and the object's nearest training rows. When the search has no result it\n"
    "names the rows no window reaches at c = 3.00 and what to do. Nothing is written to\n"
    "the repository.\n"
    "\n"
    "      --json              one JSON object instead of words\n"
    "      --curve=FILE.csv    also write the curve: c, wrong rows, undecided rows, criterion\n"
    "      --plot=FILE         also draw the error rate against c, FILE.png or FILE.svg\n"
    "  -h, --help              this text\n"
    "\n"
    "Exit status: 0 explained (also a search without result), 1 the task cannot be read or\n"
    "a file cannot be written, 2 a wrong command line.\n";

struct Options {
    int key = 0;
    bool json = false;
    std::string curvePath;
    std::string plotPath;
};

Options parse(int argc, char** argv)
{
    enum { kJson = 256, kCurve, kPlot };
    static const option longOptions[] = {{"json", no_argument, nullptr, kJson},
                                         {"curve", required_argument, nullptr, kCurve},
                                         {"plot", required_argument, nullptr, kPlot},
                                         {"help", no_argument, nullptr, 'h'},
                                         {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;
    int c;
    while ((c = getopt_long(argc, argv, ":h", longOptions, nullptr)) != -1) {
        switch (c) {
        case kJson: o.json = true; break;
        case kCurve: o.curvePath = optarg; break;
        case kPlot: o.plotPath = optarg; break;
        case 'h': std::cout << kUsage << (canPlot() ? "" : "\nThis build has no --plot (cairo was missing).\n"); std::exit(0);
        default: optionError(kProgram, c, argv);
        }
    }
    o.key = taskKeyArgument(kProgram, argc, argv);
    if (!o.plotPath.empty() && !canPlot())
        toolUsageError(kProgram, "this build has no --plot: cairo was missing when it was built");
    return o;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out)
        throw Exception("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv)
{
    return runTool(kProgram, [&] {
        const Options o = parse(argc, argv);
        const StoredTask task = StoredTask::read(o.key);
        FittedSample fitted(task.sample);
        const Explanation e = explain(task, fitted);
        if (!o.curvePath.empty())
            writeFile(o.curvePath, curveCsv(e.curve));
        if (!o.plotPath.empty())
            plotCurve(e, o.plotPath);
        std::cout << (o.json ? asJson(e) : inWords(e));
        return 0;
    });
}
