// The tools' fit of a sample against the model classes dodoz runs, without a database:
// the chosen widths, I_min, the curve and the object's densities to the bit, what the
// explanation makes of them on iris, and the check that refuses a sample that cannot
// work.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>

#include "models/ClassShares.h"
#include "models/TModelClass.h"
#include "models/fast/FastSearch.h"
#include "objects/Values.h"
#include "tools/explain/Explanation.h"
#include "tools/explain/ExplanationText.h"
#include "tools/register/PreCheck.h"

namespace {

std::uint64_t bits(double v) { return std::bit_cast<std::uint64_t>(v); }

RegistrationPlan planOf(const std::string& csv, const std::string& object)
{
    RegistrationRequest r;
    std::istringstream in(csv);
    r.csvName = "data.csv";
    r.csv = CsvTable::read(in, r.csvName);
    r.classColumn = "class";
    std::istringstream values(object);
    for (std::string v; std::getline(values, v, ',');)
        r.objectValues.push_back(v);
    r.table = "data";
    return planRegistration(r);
}

std::string irisText()
{
    std::ifstream in(std::string(DODOZ_SOURCE_DIR) + "/data/iris.csv");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A sample that cannot work: noise in which row j lies far out in column j, farther than
// three deviations of that column from every other row, so no window up to c = 3.00
// reaches it.
std::string noiseSample(int rows, int columns, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    std::string csv;
    for (int j = 0; j < columns; ++j)
        csv += "x" + std::to_string(j) + ",";
    csv += "class\n";
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < columns; ++j)
            csv += std::to_string(i == j ? 100.0 : value(random)) + ",";
        csv += std::to_string(i % 2) + "\n";
    }
    return csv;
}

VectorPtr objectOf(const std::vector<double>& values)
{
    auto v = std::make_shared<Vector>(10, 2);
    for (double x : values)
        v->add(std::make_shared<CDouble>(x));
    return v;
}

TEST(FittedSampleTest, WidthsCriterionAndDensitiesAreTheModelsToTheBit)
{
    const RegistrationPlan plan = planOf(irisText(), "6.0,2.9,4.5,1.5");
    FittedSample fitted(planSample(plan));
    TModelClass run(planSample(plan));
    const Fit fit = run.optimize(nullptr, nullptr);
    const VectorPtr params = fit.params;
    const Vector& widths = static_cast<const Vector&>(*params->elementAt(2));
    ASSERT_TRUE(fitted.found());
    ASSERT_EQ(fitted.widths().size(), 4u);
    for (int j = 0; j < widths.size(); ++j)
        EXPECT_EQ(bits(fitted.widths()[static_cast<size_t>(j)]), bits(widths.getDouble(j))) << "column " << j;
    EXPECT_EQ(fitted.cMin(), fitted.gridPoints()[fitted.chosenIndex()]);
    const SearchCurve curve = fitted.curve();
    EXPECT_EQ(bits(curve.criterion[fitted.chosenIndex()]), bits(fit.criterion)) << "the run's p_min";
    EXPECT_EQ(FastSearch::bestIndex(curve.criterion), fitted.chosenIndex());

    const VectorPtr object = objectOf(plan.object);
    const int chosen = run.getOutInt(*object, *params, -1, nullptr);
    const FittedSample::Verdict verdict = fitted.classify(*object);
    EXPECT_EQ(verdict.classCode, chosen);
    const Vector& densities = *run.getClassDensities();
    ASSERT_EQ(verdict.densities.size(), static_cast<size_t>(densities.size()));
    for (int k = 0; k < densities.size(); ++k) {
        const double d = densities.getDouble(k);
        EXPECT_EQ(verdict.densities[static_cast<size_t>(k)].has_value(), d != NOT_DEFINED_REAL) << "class " << k;
        if (d != NOT_DEFINED_REAL) {
            EXPECT_EQ(bits(*verdict.densities[static_cast<size_t>(k)]), bits(d)) << "class " << k;
        }
    }
}

TEST(FittedSampleTest, SharesAreRoundedPercentagesOfTheSum)
{
    auto shares = [](const std::vector<double>& densities) {
        Vector v;
        for (double d : densities)
            v.add(std::make_shared<CDouble>(d));
        return classShares(v);
    };
    EXPECT_EQ(shares({1.0, NOT_DEFINED_REAL, 3.0}), (std::vector<double>{25.0, 0.0, 75.0}));
    EXPECT_EQ(shares({NOT_DEFINED_REAL, NOT_DEFINED_REAL}), (std::vector<double>{0.0, 0.0}));
    EXPECT_EQ(shares({1.0, 2.0}), (std::vector<double>{33.33, 66.67}));
}

TEST(ExplanationTest, IrisChoosesTheCoveringLimitAboveALowerErrorRate)
{
    const RegistrationPlan plan = planOf(irisText(), "6.0,2.9,4.5,1.5");
    StoredTask task{1, "iris (classes: 0 setosa, 1 versicolor, 2 virginica)", planSample(plan), objectOf(plan.object)};
    FittedSample fitted(task.sample);
    const Explanation e = explain(task, fitted);
    ASSERT_TRUE(e.found);
    EXPECT_EQ(gridC(e.cMin), "1.06");
    ASSERT_NE(e.covering, FastSearch::npos);
    EXPECT_EQ(e.curve.grid[e.covering], e.cMin) << "c_min is the covering limit";
    EXPECT_LT(e.curve.grid[e.lowest], e.cMin);
    EXPECT_LT(e.curve.errorRate(e.lowest), e.iMin) << "the lower rate lies to the left of c_min";
    for (std::size_t g = 0; g < e.covering; ++g)
        EXPECT_GT(e.curve.undecided[g], 0) << "c " << e.curve.grid[g];

    EXPECT_EQ(e.chosenClass, 1);
    EXPECT_EQ(e.classInWords(1), "class 1 (versicolor)");
    std::int64_t wrong = 0;
    for (std::size_t k = 0; k < e.classes.size(); ++k) {
        EXPECT_EQ(e.classes[k].rows, 50);
        for (std::size_t to = 0; to < e.classes[k].assigned.size(); ++to)
            wrong += to == k ? 0 : e.classes[k].assigned[to];
    }
    EXPECT_EQ(wrong, e.curve.wrong[e.chosen]) << "the confusion matrix holds the wrong rows of c_min";
    EXPECT_FALSE(e.classes[0].density) << "setosa is far from this flower";
    EXPECT_FALSE(e.classes[0].outsideColumns.empty());
    EXPECT_GT(e.classes[1].inWindow, 0);
    ASSERT_EQ(e.nearest.size(), 5u);
    EXPECT_LT(e.nearest.front().distance, 1.0);
    EXPECT_NE(inWords(e).find("c_min is this covering limit"), std::string::npos) << inWords(e);
}

TEST(PreCheckTest, ASampleThatCannotWorkIsNamedWithItsRows)
{
    std::string object = "0.5";
    for (int j = 1; j < 16; ++j)
        object += ",0.5";
    const RegistrationPlan plan = planOf(noiseSample(24, 16, 7), object);
    const PreCheck check = PreCheck::of(plan);
    ASSERT_FALSE(check.passes());
    EXPECT_TRUE(check.zeroDeviation.empty());
    EXPECT_GT(check.unreached.count, 0);
    EXPECT_EQ(gridC(check.unreached.widestC), "3.00");
    ASSERT_FALSE(check.unreached.first.empty());
    for (const UnreachedRow& row : check.unreached.first)
        EXPECT_GT(row.neededC, check.unreached.widestC) << "row " << row.row;
    const std::string findings = check.findings();
    EXPECT_NE(findings.find("rows lie outside the windows of every class"), std::string::npos) << findings;
    EXPECT_NE(findings.find("what to do: "), std::string::npos) << findings;

    StoredTask task{1, "", planSample(plan), objectOf(plan.object)};
    FittedSample fitted(task.sample);
    const Explanation e = explain(task, fitted);
    EXPECT_FALSE(e.found);
    EXPECT_EQ(e.unreached.count, check.unreached.count);
    EXPECT_EQ(e.covering, FastSearch::npos);
}

TEST(PreCheckTest, ZeroDeviationColumnsAreNamedAndIrisPasses)
{
    const RegistrationPlan flat = planOf("a,b,c,class\n1,5,2,0\n2,5,2,1\n3,5,2,0\n4,5,2,1\n", "1,5,2");
    const PreCheck check = PreCheck::of(flat);
    EXPECT_EQ(check.zeroDeviation, (std::vector<std::string>{"b", "c"}));
    EXPECT_NE(check.findings().find("leave them out with --exclude b,c"), std::string::npos) << check.findings();
    EXPECT_TRUE(PreCheck::of(planOf(irisText(), "6.0,2.9,4.5,1.5")).passes());
}

}  // namespace
