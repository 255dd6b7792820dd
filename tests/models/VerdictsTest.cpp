// The engine's per-row verdicts against the object-model classifier, row by row with the
// row itself left out.

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "models/TModelClass.h"
#include "models/fast/FastSearch.h"
#include "objects/Values.h"
#include "tests/support/SampleBuilder.h"

using namespace testsupport;

TEST(VerdictsTest, EqualTheObjectModelClassifierRowByRow)
{
    // Integer levels (ties, duplicates) beside noise; classes 10, 20, 30 in turn, every
    // seventh row left out.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int> level(0, 3);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<std::vector<std::optional<double>>> inputs;
    std::vector<int> codes;
    std::vector<double> x;
    std::vector<int> positions;
    auto left = Vector::repeat(nullptr, 42);
    for (int r = 0; r < 42; ++r) {
        const double a = r % 2 ? level(rng) : r % 3 + noise(rng);
        const double b = level(rng) * 0.5;
        inputs.push_back({a, b});
        x.insert(x.end(), {a, b});
        codes.push_back(10 * (r % 3 + 1));
        positions.push_back(r % 7 == 3 ? -1 : r % 3);
        if (r % 7 == 3)
            left->set(r, std::make_shared<CInteger>(1));
    }
    DatasetPtr ds = sample(inputs, codes);
    ds->setMask(left);
    TModelClass model(ds);
    const VectorPtr p = model.optimize(nullptr, nullptr);
    auto h = std::static_pointer_cast<Vector>(p->elementAt(2));
    const DenseSample dense{42, 2, 3, x.data(), positions.data()};
    int undecided = 0;
    for (const std::vector<double>& widths : {std::vector<double>{0.6, 0.4}, {1.5, 1.0}, {0.05, 0.05}}) {
        for (int j = 0; j < 2; ++j)
            h->set(j, std::make_shared<CDouble>(widths[j]));
        const std::vector<int> verdicts = FastSearch::verdictsAt(dense, widths, {2});
        ASSERT_EQ(verdicts.size(), 42u);
        for (int r = 0; r < 42; ++r) {
            if (positions[r] == -1) {
                EXPECT_EQ(verdicts[r], -2) << "row " << r;
                continue;
            }
            const int code = model.getOutInt(*reals({*inputs[r][0], *inputs[r][1]}), *p, r, nullptr);
            EXPECT_EQ(verdicts[r] == -1 ? NOT_DEFINED : 10 * (verdicts[r] + 1), code) << "row " << r;
            undecided += verdicts[r] == -1;
        }
    }
    EXPECT_GT(undecided, 0) << "the narrow widths must leave rows undecided";
}
