// The kernel density of one dataset at a point.

#include <gtest/gtest.h>

#include "core/Utils.h"
#include "models/TModelClass.h"
#include "tests/support/Raised.h"
#include "tests/support/SampleBuilder.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::reals;
using testsupport::sample;

class DensityTest : public ::testing::Test {
protected:
    DatasetPtr ds = sample({{0.0}, {1.0}}, {1, 1});
    TModelDensity model{ds};
};

TEST_F(DensityTest, EpanechnikovProductOverTheRows)
{
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), 0.5625);
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), 0, nullptr), 0.5625);
}

TEST_F(DensityTest, RowsOnTheWindowEdgeGetNoWeight)
{
    // u = -1 for row 1 and u = 0 for row 0: only row 0 counts, n stays 2.
    EXPECT_EQ(model.getOut(*reals({0.0}), *reals({1.0}), -1, nullptr), 0.75 / 2);
}

TEST_F(DensityTest, NothingInTheWindowIsNotDefined)
{
    EXPECT_EQ(model.getOut(*reals({5.0}), *reals({1.0}), -1, nullptr), NOT_DEFINED_REAL);
    ds->setMask(Vector::repeat(std::make_shared<CInteger>(1), 2));
    EXPECT_EQ(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), NOT_DEFINED_REAL);
}

TEST_F(DensityTest, MissingOrTextInputIsAClearError)
{
    auto x = std::make_shared<Vector>();
    x->add(nullptr);
    auto e = raised([&] { model.getOut(*x, *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(e.place, "TModelDensity.getOut(Vector*, Vector*)");
    EXPECT_NE(e.message.find("x[0]"), std::string::npos);
    ds->getDataModel()->setValue(std::make_shared<CString>("a"), 1, 0);
    EXPECT_THROW(model.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr), SystemException);
}

TEST_F(DensityTest, UnsupportedOperations)
{
    auto e = raised([&] { model.getOutInt(*reals({0.5}), *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(e.place, "TModelDensity.getOutInt(Vector*, Vector*)");
    EXPECT_EQ(e.message, "Метод не поддерживается");
    EXPECT_EQ(model.optimize(nullptr, nullptr).params, nullptr);
    TModelClass classifier(ds);
    auto c = raised([&] { classifier.getOut(*reals({0.5}), *reals({1.0}), -1, nullptr); });
    EXPECT_EQ(c.place, "TModelClass.getOut(Vector*, Vector*)");
}

TEST_F(DensityTest, JournalGetsTwoIndentedLines)
{
    TempDir dir;
    {
        Log log(dir / "j.log", false);
        log.indent = 1;
        model.getOut(*reals({0.5}), *reals({1.0}), -1, &log);
        EXPECT_EQ(log.indent, 1);
    }
    EXPECT_EQ(TempDir::read(dir / "j.log"), "\n    TModelDensity.getOut:\n    f = 0.56");
}

}  // namespace
