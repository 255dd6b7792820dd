// Times the fast leave-one-out search against the plain loops on seeded samples and
// checks that both give the same criterion, bit for bit. Each case runs in a fresh child
// process so that its peak memory is its own.
//
//   dodoz_bench [--sizes=1000,2000,10000,100000] [--kinds=blobs,levels,binary] [--columns=4] [--subset=15]
//               [--full-limit=2000] [--threads=N] [--repeat=N] [--vectors=none|avx2|avx512]
//
// The plain loops run over all 300 grid points up to --full-limit rows, over --subset
// evenly spread points (scaled to 300) up to 20,000 rows, and not at all above.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/InstructionSet.h"
#include "models/TModelClass.h"
#include "objects/Values.h"
#include "tests/support/DenseSamples.h"

namespace {

using Sample = testsupport::DenseRows;
using testsupport::columnDeviations;
using testsupport::programGrid;

// Three overlapping Gaussian blobs, classes drawn at random; columns past the fourth
// repeat the first four's centres.
Sample blobs(int rows, int columns, std::uint64_t seed)
{
    static const double centre[3][4] = {{0.0, 0.0, 0.0, 0.0}, {1.5, 1.0, 0.0, 0.5}, {0.0, 1.5, 1.2, -0.5}};
    return testsupport::gaussianBlobs(rows, columns, 3, seed, [](int c, int j) { return centre[c][j % 4]; });
}

// Integer cells 0..4 (625 distinct points, so mostly exact duplicates) and three classes
// of equal size, the hardest case for the bounds: many densities tie exactly.
Sample levels(int rows, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.2);
    Sample s;
    s.columns = 4;
    s.classes = 3;
    for (int r = 0; r < rows; ++r) {
        const int c = r % 3;
        for (int j = 0; j < 4; ++j)
            s.x.push_back(std::clamp(std::round(c * 0.7 * (j % 2 ? 1.0 : 0.5) + 1.0 + noise(rng)), 0.0, 4.0));
        s.cls.push_back(c);
    }
    return s;
}

// Two balanced 0/1 columns (sigma exactly 0.5, so every difference of 1 lies exactly on
// grid point c = 2) beside two Gaussian ones.
Sample binary(int rows, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    Sample s;
    s.columns = 4;
    s.classes = 3;
    for (int r = 0; r < rows; ++r) {
        const int c = (r / 4) % 3;
        s.x.push_back(r % 2);
        s.x.push_back((r / 2) % 2);
        s.x.push_back(c * 0.8 + noise(rng));
        s.x.push_back(c * -0.6 + noise(rng));
        s.cls.push_back(c);
    }
    return s;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Peak resident memory of this process so far, in MB.
double peakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return -1.0;
}

// The machine is shared: the load average at the start of a case says how much of it the
// case had.
std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one;
    std::string five;
    in >> one >> five;
    return one + " " + five;
}

// The object-model path on the same sample: the arrays as a Dataset of CDouble cells and
// CInteger classes, scored by the classifier's own criterion with the fast engine turned
// off, at the given grid points. The time is scaled to all 300 points; same counts the
// points whose criterion equals the fast search's to the bit.
struct ObjectModelTiming {
    double seconds;
    int same;
};

ObjectModelTiming objectModelSeconds(const Sample& s, const std::vector<double>& sigma, const std::vector<double>& grid,
                                     const std::vector<std::size_t>& points, const std::vector<double>& fastCriterion)
{
    const int rows = static_cast<int>(s.cls.size());
    auto table = std::make_shared<DataModel>();
    auto names = std::make_shared<Vector>();
    for (int j = 0; j < s.columns; ++j) {
        std::string name = "X";
        name += std::to_string(j + 1);
        names->add(std::make_shared<CString>(name));
    }
    names->add(std::make_shared<CString>("CLASS"));
    table->setColumnNames(names);
    for (int r = 0; r < rows; ++r) {
        auto row = std::make_shared<Vector>(s.columns + 1, 2);
        for (int j = 0; j < s.columns; ++j)
            row->add(std::make_shared<CDouble>(s.x[static_cast<std::size_t>(r * s.columns + j)]));
        row->add(std::make_shared<CInteger>(s.cls[static_cast<std::size_t>(r)]));
        table->addRow(row);
    }
    auto sample = std::make_shared<Dataset>(table);
    sample->setInColumns(Vector::range(0, s.columns - 1));
    sample->setOutValues(table->getColumnValues(s.columns));
    sample->setMask(Vector::repeat(nullptr, rows));

    // The parameters TModelClass::optimize builds: class codes, one mask per class, widths.
    VectorPtr codes = sample->getClasses();
    auto masks = std::make_shared<Vector>();
    for (int k = 0; k < codes->size(); ++k) {
        auto mask = std::make_shared<Vector>(rows, 2);
        ObjectPtr marker = std::make_shared<CInteger>(1);
        for (int r = 0; r < rows; ++r)
            mask->add(sample->getOutValue(r)->toString() == codes->elementAt(k)->toString() ? nullptr : marker);
        masks->add(mask);
    }
    auto params = std::make_shared<Vector>();
    params->add(codes);
    params->add(masks);
    params->add(nullptr);

    TModelClass model(sample, ClassifierOptions{.engine = SearchEngine::Reference});
    model.getCriteryMinP().setModel(&model);
    int same = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::size_t g : points) {
        auto h = std::make_shared<Vector>();
        for (double deviation : sigma)
            h->add(std::make_shared<CDouble>(deviation * grid[g]));
        params->set(2, h);
        const double value = model.getCriteryMinP().getCriterion(*params);
        same += std::bit_cast<std::uint64_t>(value) == std::bit_cast<std::uint64_t>(fastCriterion[g]);
    }
    const double elapsed = seconds(t0) * static_cast<double>(grid.size()) / static_cast<double>(points.size());
    return {elapsed, same};
}

struct Settings {
    std::vector<int> sizes{1000, 2000, 10000, 100000};
    std::vector<std::string> kinds{"blobs", "levels"};
    int columns = 4;
    int subset = 15;
    int fullLimit = 2000;
    unsigned threads = 0;
    int repeat = 0;
    InstructionSet vectors = InstructionSet::Avx512;  // the widest kernels allowed
};

void runCase(const Settings& settings, const std::string& kind, int rows)
{
    const std::string load = loadAverage();
    const Sample s = kind == "blobs"    ? blobs(rows, settings.columns, 1234 + rows)
                     : kind == "binary" ? binary(rows, 555 + rows)
                                        : levels(rows, 4321 + rows);
    const std::vector<double> sigma = columnDeviations(s);
    const std::vector<double> grid = programGrid();

    // The machine is shared: the fast search runs a few times and the quickest run counts.
    const int repeat = settings.repeat > 0 ? settings.repeat : (rows <= 10000 ? 5 : 1);
    int steps = 0;
    double fastWall = 1e300;
    double fastCpu = 0.0;
    FastSearch::Result fast;
    for (int k = 0; k < repeat; ++k) {
        steps = 0;
        const double cpu0 = cpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        fast = FastSearch::search(s.view(), sigma, grid, true, [&] { ++steps; }, {settings.threads, settings.vectors});
        const double wall = seconds(t0);
        if (wall < fastWall) {
            fastWall = wall;
            fastCpu = cpuSeconds() - cpu0;
        }
    }
    const double peak = peakMegabytes();
    const std::size_t best = FastSearch::bestIndex(fast.criterion);

    std::printf("%-7s n=%-7d fast %8.3f s wall (%7.3f s cpu, best of %d), peak %6.1f MB, recomputed %lld of %lld decisions, "
                "progress steps %d, load average %s\n",
                kind.c_str(), rows, fastWall, fastCpu, repeat, peak, static_cast<long long>(fast.recomputed),
                static_cast<long long>(rows) * static_cast<long long>(grid.size()), steps, load.c_str());
    if (best != FastSearch::npos) {
        std::printf("        best c = %.2f, criterion %.6f (%lld wrong)\n", grid[best], fast.criterion[best],
                    static_cast<long long>(fast.errors[best]));
        // The error probability is the criterion once more at the chosen widths.
        std::vector<double> widths(sigma.size());
        for (std::size_t j = 0; j < sigma.size(); ++j)
            widths[j] = sigma[j] * grid[best];
        const auto p0 = std::chrono::steady_clock::now();
        const double again = FastSearch::criterionAt(s.view(), widths, true, nullptr, {settings.threads, settings.vectors});
        std::printf("        criterion at the chosen widths %8.3f s wall, equal to the search's value: %s\n", seconds(p0),
                    std::bit_cast<std::uint64_t>(again) == std::bit_cast<std::uint64_t>(fast.criterion[best]) ? "yes"
                                                                                                              : "NO");
    }

    std::vector<std::size_t> points;
    std::string scope;
    if (settings.subset == 0) {
    } else if (rows <= settings.fullLimit) {
        for (std::size_t g = 0; g < grid.size(); ++g)
            points.push_back(g);
        scope = "all 300 points";
    } else if (rows <= 20000) {
        for (int k = 0; k < settings.subset; ++k)
            points.push_back((2 * k + 1) * grid.size() / (2 * settings.subset));
        scope = std::to_string(points.size()) + " evenly spread points, time scaled to 300";
    }
    if (settings.subset == 0) {
        std::printf("        plain loops: skipped\n");
    } else if (points.empty()) {
        std::printf("        plain loops: not run (would take hours)\n");
    } else {
        std::vector<double> h(sigma.size());
        int same = 0;
        const auto r0 = std::chrono::steady_clock::now();
        for (const std::size_t g : points) {
            for (std::size_t j = 0; j < sigma.size(); ++j)
                h[j] = sigma[j] * grid[g];
            const double plain = DenseReference::criterion(s.view(), h.data(), true);
            same += std::bit_cast<std::uint64_t>(plain) == std::bit_cast<std::uint64_t>(fast.criterion[g]);
        }
        const double plainWall = seconds(r0) * grid.size() / points.size();
        std::printf("        plain loops %9.2f s (%s, one thread), ratio %6.0fx; bit-identical at %d of %zu "
                    "points: %s\n",
                    plainWall, scope.c_str(), plainWall / fastWall, same, points.size(),
                    same == static_cast<int>(points.size()) ? "yes" : "NO");
    }
    // The object-model path is slower still: all points up to 1,000 rows, three spread
    // points up to 2,000, not at all above.
    std::vector<std::size_t> objectPoints;
    if (settings.subset != 0 && rows <= 1000) {
        for (std::size_t g = 0; g < grid.size(); ++g)
            objectPoints.push_back(g);
    } else if (settings.subset != 0 && rows <= 2000) {
        objectPoints = {grid.size() / 6, grid.size() / 2, 5 * grid.size() / 6};
    }
    if (objectPoints.empty()) {
        std::printf("        object model: not run (would take hours)\n");
    } else {
        const ObjectModelTiming objectModel = objectModelSeconds(s, sigma, grid, objectPoints, fast.criterion);
        std::printf("        object model %9.2f s (%s, one thread), ratio %6.0fx; bit-identical at %d of %zu points: %s\n",
                    objectModel.seconds,
                    objectPoints.size() == grid.size() ? "all 300 points" : "3 spread points, time scaled to 300",
                    objectModel.seconds / fastWall, objectModel.same, objectPoints.size(),
                    objectModel.same == static_cast<int>(objectPoints.size()) ? "yes" : "NO");
    }
    std::fflush(stdout);
}

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ','))
        parts.push_back(part);
    return parts;
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const auto value = arg.substr(arg.find('=') + 1);
        if (arg.rfind("--sizes=", 0) == 0) {
            settings.sizes.clear();
            for (const auto& part : split(value))
                settings.sizes.push_back(std::stoi(part));
        } else if (arg.rfind("--kinds=", 0) == 0) {
            settings.kinds = split(value);
        } else if (arg.rfind("--columns=", 0) == 0) {
            settings.columns = std::stoi(value);
        } else if (arg.rfind("--subset=", 0) == 0) {
            settings.subset = std::stoi(value);
        } else if (arg.rfind("--full-limit=", 0) == 0) {
            settings.fullLimit = std::stoi(value);
        } else if (arg.rfind("--vectors=", 0) == 0) {
            const std::optional<InstructionSet> set = parseInstructionSet(value);
            if (!set) {
                std::fprintf(stderr, "--vectors takes none, avx2 or avx512, not %s\n", value.c_str());
                return 2;
            }
            settings.vectors = *set;
        } else if (arg.rfind("--repeat=", 0) == 0) {
            settings.repeat = std::stoi(value);
        } else if (arg.rfind("--threads=", 0) == 0) {
            settings.threads = static_cast<unsigned>(std::stoi(value));
        } else {
            std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    std::printf("dodoz_bench: d = %d (blobs; the others 4), k = 3, 300 grid points, strict; fast search on %u thread(s); processor: %s, "
                "kernels: %s\n",
                settings.columns, settings.threads ? settings.threads : FastSearch::defaultThreads(),
                instructionSetName(processorInstructionSet()).c_str(),
                instructionSetName(kernelsFor(settings.vectors).set()).c_str());
    std::fflush(stdout);
    int failures = 0;
    for (const auto& kind : settings.kinds) {
        for (const int rows : settings.sizes) {
            const pid_t child = fork();
            if (child == 0) {
                runCase(settings, kind, rows);
                std::_Exit(0);
            }
            int status = 0;
            waitpid(child, &status, 0);
            if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                std::printf("%-7s n=%-7d FAILED (status %d)\n", kind.c_str(), rows, status);
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
