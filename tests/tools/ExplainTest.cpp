// dodoz-explain and dodoz-classify as a user runs them, against what dodoz itself wrote
// for the same task: the same c, widths, criterion, classes and shares, and the
// repository left as it was. And dodoz-register's check of a task that cannot work.

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>

#include "objects/Values.h"
#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::uint32_t bigEndian(const std::string& bytes, size_t at)
{
    std::uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i)
        v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
    return v;
}

// The journal line that starts with label, without it.
std::string journalValue(const std::string& journal, const std::string& label)
{
    const size_t at = journal.find(label);
    if (at == std::string::npos)
        return "";
    const size_t from = at + label.size();
    return journal.substr(from, journal.find('\n', from) - from);
}

// 24 rows of 16 columns of noise in which row j lies far out in column j: no window up to
// c = 3.00 reaches rows 1 to 16.
std::filesystem::path noiseExport(const std::filesystem::path& dir)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    const std::filesystem::path path = dir / "noise.csv";
    std::ofstream out(path);
    for (int j = 0; j < 16; ++j)
        out << "x" << j << ",";
    out << "class\n";
    for (int i = 0; i < 24; ++i) {
        for (int j = 0; j < 16; ++j)
            out << (i == j ? 100.0 : value(random)) << ",";
        out << i % 2 << "\n";
    }
    return path;
}

class ExplainTest : public ToolsTest {
protected:
    int irisTask(const std::string& object)
    {
        return registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", object});
    }
};

TEST_P(ExplainTest, IrisExplainedWithTheRunsNumbersAndNothingWritten)
{
    const int key = irisTask(kVersicolor);
    const e2e::RunOutcome run = fx->runDodoz(key);
    const auto rows = fx->results(key);
    const auto logs = fx->logs(key);

    const std::filesystem::path dir = fx->newWorkDir();
    const auto r = toolWith(DODOZ_EXPLAIN, {"--json", "--curve", "curve.csv", "--plot", "iris.png", std::to_string(key)},
                            e2e::Regional::C, dir);
    ASSERT_EQ(r.exitCode, 0) << r.describe();
    auto twoPlaces = [](const std::string& number) { return FloatToStr(CDouble::roundTo(std::stod(number), 2)); };
    EXPECT_EQ(twoPlaces(jsonField(r.out, "c_min")), "1.06");
    EXPECT_EQ(jsonField(r.out, "c_min_is_covering_limit"), "true");
    EXPECT_EQ(jsonField(r.out, "covering_limit"), jsonField(r.out, "c_min")) << "the same grid point, to the bit";
    EXPECT_LT(std::stod(jsonField(r.out, "lowest_to")), 1.06);
    EXPECT_LT(std::stod(jsonField(r.out, "lowest_error_rate")), std::stod(jsonField(r.out, "I_min")));

    EXPECT_EQ(journalValue(run.journal, "c_min = "), twoPlaces(jsonField(r.out, "c_min")));
    std::string widths;
    for (double w : jsonNumbers(jsonField(r.out, "widths")))
        widths += Object::toText(std::make_shared<CDouble>(w)) + "; ";  // as the journal prints them
    EXPECT_EQ(journalValue(run.journal, "C_min = "), widths);
    const double iMin = std::stod(jsonField(r.out, "I_min"));
    EXPECT_EQ(journalValue(run.journal, "I_min = "), FloatToStr(CDouble::roundTo(iMin, 2)));
    std::vector<double> shares;
    for (const auto& row : rows) {
        if (row.sysName == "p_min") {
            EXPECT_EQ(std::stod(*row.value1), CDouble::roundTo(iMin * 100.0, 2));
        } else if (row.sysName == "dens") {
            shares.push_back(std::stod(*row.value2));
        }
    }
    const std::string classes = jsonField(r.out, "classes");
    for (size_t k = 0; k < shares.size(); ++k) {
        const size_t at = classes.find("{\"class\": " + std::to_string(k) + ",");
        ASSERT_NE(at, std::string::npos) << classes;
        EXPECT_EQ(std::stod(jsonField(classes.substr(at), "share")), shares[k]) << "class " << k;
    }
    e2e::expectSameResults(fx->results(key), rows);
    EXPECT_EQ(fx->logs(key).size(), logs.size()) << "dodoz-explain writes nothing";

    const std::string curve = fileBytes(dir / "curve.csv");
    EXPECT_EQ(curve.substr(0, curve.find('\n')), "c,wrong,undecided,criterion");
    EXPECT_EQ(std::count(curve.begin(), curve.end(), '\n'), 301);
    EXPECT_NE(curve.find("\n1.06,"), std::string::npos);
    const std::string png = fileBytes(dir / "iris.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(bigEndian(png, 16), 900u);
    EXPECT_EQ(bigEndian(png, 20), 560u);
}

TEST_P(ExplainTest, WordsAndAPictureAsSvg)
{
    const int key = irisTask(kVersicolor);
    const std::filesystem::path dir = fx->newWorkDir();
    const auto r = toolWith(DODOZ_EXPLAIN, {std::to_string(key), "--plot=iris.svg"}, e2e::Regional::C, dir);
    ASSERT_EQ(r.exitCode, 0) << r.describe();
    EXPECT_NE(r.out.find("c_min = 1.06"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Covering limit: c = 1.06"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("without class priors"), std::string::npos) << r.out;
    const std::string svg = fileBytes(dir / "iris.svg");
    const size_t root = svg.find("<svg");
    ASSERT_NE(root, std::string::npos) << svg.substr(0, 200);
    EXPECT_NE(svg.find("width=\"900", root), std::string::npos) << svg.substr(root, 200);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    EXPECT_EQ(fx->results(key).size(), 0u) << "the task was not run and dodoz-explain runs nothing in it";

    EXPECT_EQ(toolWith(DODOZ_EXPLAIN, {"999"}).exitCode, 1);
    EXPECT_EQ(toolWith(DODOZ_EXPLAIN, {std::to_string(key), "--plot=iris.gif"}, e2e::Regional::C, dir).exitCode, 1);
    EXPECT_EQ(toolWith(DODOZ_EXPLAIN, {}).exitCode, 2);
}

TEST_P(ExplainTest, ClassifyEqualsOneRunPerObject)
{
    const std::vector<std::string> objects = {e2e::iris::setosa, e2e::iris::versicolor, e2e::iris::virginica,
                                              "6.3,2.8,4.9,1.6", "5.9,3.0,5.1,1.8", "30,30,30,30"};
    const std::filesystem::path dir = fx->newWorkDir();
    {
        std::ofstream out(dir / "objects.csv");
        out << "petal_width,sepal_length,sepal_width,petal_length\n";
        for (const auto& o : objects) {
            std::vector<std::string> v;
            std::stringstream text(o);
            for (std::string x; std::getline(text, x, ',');)
                v.push_back(x);
            out << v[3] << "," << v[0] << "," << v[1] << "," << v[2] << "\n";
        }
    }
    const int first = irisTask(objects[0]);
    const auto r = toolWith(DODOZ_CLASSIFY, {std::to_string(first), "--objects", (dir / "objects.csv").string(), "--csv"});
    ASSERT_EQ(r.exitCode, 0) << r.describe();
    std::stringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "object,line,class,label,share_0,share_1,share_2");
    for (size_t i = 0; i < objects.size(); ++i) {
        ASSERT_TRUE(std::getline(lines, line)) << r.out;
        std::vector<std::string> cells;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');)
            cells.push_back(cell);
        ASSERT_EQ(cells.size(), 7u) << line;
        const int key = i == 0 ? first : irisTask(objects[i]);
        fx->runDodoz(key);
        int share = 0;
        for (const auto& row : fx->results(key)) {
            if (row.sysName == "class") {
                EXPECT_EQ(cells[2], *row.value1) << objects[i];
            } else if (row.sysName == "dens") {
                EXPECT_EQ(std::stod(cells[4 + static_cast<size_t>(share++)]), std::stod(*row.value2)) << objects[i];
            }
        }
        EXPECT_EQ(share, 3) << objects[i];
    }
}

TEST_P(ExplainTest, RegisterRefusesATaskThatCannotWork)
{
    const std::filesystem::path csv = noiseExport(fx->newWorkDir());
    const std::vector<std::string> args = {csv.string(), "--class", "class", "--object",
                                           "0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5,0.5"};
    const auto refused = registerWith(args);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("the task cannot work, so nothing is written"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("rows lie outside the windows of every class"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("a window reaches it only above c = "), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("what to do: "), std::string::npos) << refused.err;
    EXPECT_EQ(taskCount(), 0);

    std::vector<std::string> forced = args;
    forced.push_back("--force");
    const auto r = registerWith(forced);
    const int key = keyOf(r);
    EXPECT_NE(r.err.find("registered although the task cannot work"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("stored with the decimal separator '.'"), std::string::npos) << r.err;
    const auto explained = toolWith(DODOZ_EXPLAIN, {std::to_string(key)});
    EXPECT_EQ(explained.exitCode, 0) << explained.describe();
    EXPECT_NE(explained.out.find("The search has no result"), std::string::npos) << explained.out;
    EXPECT_NE(explained.out.find("What to do: "), std::string::npos) << explained.out;
    const auto classified = toolWith(DODOZ_CLASSIFY, {std::to_string(key), "--objects", csv.string()});
    EXPECT_EQ(classified.exitCode, 1);
    EXPECT_NE(classified.err.find("has no result"), std::string::npos) << classified.err;
}

DODOZ_ON_EVERY_BACKEND(ExplainTest);

}  // namespace
}  // namespace tools
