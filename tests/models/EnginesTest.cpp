// The classifier on the fast engine, through whichever GridSearch it is given, against the
// reference engine.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "models/TModelClass.h"
#include "models/fast/DenseReference.h"
#include "models/fast/FastSearch.h"
#include "models/fast/SampleArrays.h"
#include "tests/support/InstructionSets.h"
#include "tests/support/RecordingBar.h"
#include "tests/support/SampleBuilder.h"

namespace {

[[maybe_unused]] const ::testing::Environment* const kReport =
    ::testing::AddGlobalTestEnvironment(new testsupport::InstructionSetsReport);

using testsupport::reals;
using testsupport::sample;

// The classifier over the fast engine, capped at each instruction set, against the same
// classes on the object-model path (the reference search): widths, criterion and
// densities equal to the bit.
class FastPathTest : public testsupport::InstructionSetTest {
protected:
    struct Outcome {
        std::vector<double> widths;
        double criterion;
        int cls;
        std::vector<double> densities;
        int steps;
    };

    Outcome run(const std::function<DatasetPtr()>& make, bool reference, const VectorPtr& x) const
    {
        DatasetPtr ds = make();
        TModelClass model(ds, ClassifierOptions{.engine = reference ? SearchEngine::Reference : SearchEngine::Fast, .instructionSets = set()});
        RecordingBar bar;
        const Fit fit = model.optimize(nullptr, &bar);
        const VectorPtr& p = fit.params;
        EXPECT_EQ(model.getCriteryMinP().denseArrays(*p, "FastPathTest") == nullptr, reference);
        Outcome o;
        auto widths = std::static_pointer_cast<Vector>(p->elementAt(2));
        for (int j = 0; j < widths->size(); ++j)
            o.widths.push_back(widths->getDouble(j));
        o.criterion = fit.criterion;
        // What the run reports as the error probability: the criterion at the chosen
        // widths, to the bit, whichever engine searched.
        EXPECT_EQ(bits(model.getCriteryMinP().getCriterion(*p)), bits(fit.criterion));
        o.cls = model.getOutInt(*x, *p, -1, nullptr);
        for (int k = 0; k < model.getClassDensities()->size(); ++k)
            o.densities.push_back(model.getClassDensities()->getDouble(k));
        o.steps = bar.stepCount;
        return o;
    }

    static uint64_t bits(double v)
    {
        uint64_t b;
        std::memcpy(&b, &v, sizeof b);
        return b;
    }

    void expectSame(const std::function<DatasetPtr()>& make, const VectorPtr& x) const
    {
        Outcome fast = run(make, false, x);
        Outcome plain = run(make, true, x);
        ASSERT_EQ(fast.widths.size(), plain.widths.size());
        for (size_t j = 0; j < fast.widths.size(); ++j)
            EXPECT_EQ(bits(fast.widths[j]), bits(plain.widths[j]));
        EXPECT_EQ(bits(fast.criterion), bits(plain.criterion));
        EXPECT_EQ(fast.cls, plain.cls);
        ASSERT_EQ(fast.densities.size(), plain.densities.size());
        for (size_t k = 0; k < fast.densities.size(); ++k)
            EXPECT_EQ(bits(fast.densities[k]), bits(plain.densities[k]));
        EXPECT_EQ(fast.steps, 300);
        EXPECT_EQ(plain.steps, 300);
    }
};

TEST_P(FastPathTest, RandomSamplesWithGapsAndUnclassifiedRows)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        auto make = [seed] {
            std::mt19937 random(seed);
            std::normal_distribution<double> noise(0.0, 1.0);
            std::vector<std::vector<std::optional<double>>> rows;
            std::vector<int> classes;
            for (int i = 0; i < 40; ++i) {
                int c = i % 3;
                std::vector<std::optional<double>> row;
                for (int j = 0; j < 3; ++j) {
                    double v = std::round((c * 1.5 + noise(random)) * 10) / 10;
                    row.push_back(random() % 13 == 0 ? std::nullopt : std::optional<double>(v));
                }
                rows.push_back(row);
                classes.push_back(c + 1);
            }
            auto ds = sample(rows, classes);
            // A row without a class belongs to no class and is not scored.
            auto mask = Vector::repeat(nullptr, 40);
            mask->set(7, std::make_shared<CInteger>(1));
            ds->setMask(mask);
            return ds;
        };
        expectSame(make, reals({1.0, 1.5, 2.0}));
    }
}

// The criterion of the object-model classes at every grid point against the fast
// engine and the plain loops over the same arrays, to the bit.
TEST_P(FastPathTest, ConstantAndNearlyConstantColumnsAtEveryGridPoint)
{
    auto make = [](int variant) {
        std::mt19937 random(29);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<std::vector<std::optional<double>>> rows;
        std::vector<int> classes;
        for (int i = 0; i < 45; ++i) {
            const int c = i % 3;
            double last = 5.0;
            if (variant == 1 && i % 4 == 1)
                last = std::nextafter(5.0, 6.0);
            if (variant == 2 && i % 5 == 2)
                last = 5.0 + 1e-12;
            rows.push_back({std::round((c * 1.5 + noise(random)) * 10) / 10, std::round(noise(random) * 10) / 10, last});
            classes.push_back(c + 1);
        }
        return sample(rows, classes);
    };
    const std::vector<double> grid = TOptimizerC(0.01, 3.0, 0.01).grid();
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        DatasetPtr ds = make(variant);
        std::vector<double> sigma;
        for (int j = 0; j < 3; ++j)
            sigma.push_back(ds->getDeviations()->getDouble(j));
        ASSERT_GT(sigma[2], 0.0);
        ASSERT_LT(sigma[2], 1e-10);

        TModelClass model(ds, ClassifierOptions{.instructionSets = set()});
        auto p = model.optimize(nullptr, nullptr).params;
        auto arrays = model.getCriteryMinP().denseArrays(*p, "FastPathTest");
        ASSERT_TRUE(arrays);
        const FastSearch::Result fast = FastSearch::search(arrays->view(), sigma, grid, true, {}, {.instructionSets = set()});
        EXPECT_FALSE(fast.plainLoops);
        const GridScores loops = DenseReference::search(arrays->view(), sigma, grid, true);
        for (size_t g = 0; g < grid.size(); ++g) {
            auto widths = reals({sigma[0] * grid[g], sigma[1] * grid[g], sigma[2] * grid[g]});
            p->set(2, widths);
            const double objects = model.getCriteryMinP().getCriterion(*p);
            ASSERT_EQ(bits(objects), bits(fast.criterion[g])) << "c = " << grid[g];
            ASSERT_EQ(bits(objects), bits(loops.criterion[g])) << "c = " << grid[g];
        }

        expectSame([&] { return make(variant); }, reals({1.0, 0.0, 5.0}));
        expectSame([&] { return make(variant); }, reals({1.0, 0.0, 6.0}));
    }
}

TEST_P(FastPathTest, DuplicatesAndIntegerLevels)
{
    auto make = [] {
        std::vector<std::vector<std::optional<double>>> rows;
        std::vector<int> classes;
        for (int i = 0; i < 36; ++i) {
            rows.push_back({double(i % 3), double((i / 3) % 2)});
            classes.push_back(i % 2 + 5);
        }
        return sample(rows, classes);
    };
    expectSame(make, reals({1.0, 0.0}));
}

// Hands each search on to the local one and counts them.
class CountingGridSearch : public GridSearch {
public:
    explicit CountingGridSearch(InstructionSet sets) : local(FastSearch::Options{.instructionSets = sets}) {}

    FastSearch::Result search(const DenseSample& sample, const std::vector<double>& sigma,
                              const std::vector<double>& grid, bool strict,
                              const std::function<void()>& stepIt) override
    {
        ++searches;
        points += grid.size();
        return local.search(sample, sigma, grid, strict, stepIt);
    }

    int searches = 0;
    std::size_t points = 0;

private:
    LocalGridSearch local;
};

TEST_P(FastPathTest, TheFastEngineSearchesThroughTheSuppliedGridSearchAlone)
{
    auto ds = sample({{0.0}, {0.3}, {0.5}, {0.9}, {2.0}, {2.4}, {2.6}, {3.1}}, {1, 1, 1, 1, 2, 2, 2, 2});
    std::vector<uint64_t> widths;
    for (const SearchEngine engine : {SearchEngine::Fast, SearchEngine::Reference}) {
        auto counting = std::make_shared<CountingGridSearch>(set());
        TModelClass model(ds, ClassifierOptions{.engine = engine, .instructionSets = set(), .gridSearch = counting});
        RecordingBar bar;
        auto p = model.optimize(nullptr, &bar).params;
        EXPECT_EQ(counting->searches, engine == SearchEngine::Fast ? 1 : 0);
        EXPECT_EQ(counting->points, engine == SearchEngine::Fast ? 300u : 0u);
        EXPECT_EQ(bar.stepCount, 300);
        widths.push_back(bits(std::static_pointer_cast<Vector>(p->elementAt(2))->getDouble(0)));
    }
    EXPECT_EQ(widths[0], widths[1]);
}

INSTANTIATE_TEST_SUITE_P(Sets, FastPathTest, ::testing::ValuesIn(testsupport::kSets), testsupport::setName);

}  // namespace
