#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/Utils.h"
#include "objects/DataPack.h"
#include "objects/Values.h"
#include "objects/Vector.h"
#include "tests/support/Raised.h"
#include "tests/support/RegionalSettings.h"

namespace {

ObjectPtr integer(int v) { return std::make_shared<CInteger>(v); }
ObjectPtr real(double v) { return std::make_shared<CDouble>(v); }
ObjectPtr text(const char* v) { return std::make_shared<CString>(v); }

class CompareTest : public ::testing::Test {};

TEST_F(CompareTest, NullsComeFirst)
{
    EXPECT_EQ(Object::compare(nullptr, nullptr), 0);
    EXPECT_EQ(Object::compare(nullptr, integer(5).get()), -1);
    EXPECT_EQ(Object::compare(text("a").get(), nullptr), 1);
}

TEST_F(CompareTest, OrdersScalarsOfOneType)
{
    EXPECT_EQ(Object::compare(integer(1), integer(2)), -1);
    EXPECT_EQ(Object::compare(integer(2), integer(-3)), 1);
    EXPECT_EQ(Object::compare(real(1.5), real(1.5)), 0);
    EXPECT_EQ(Object::compare(std::make_shared<CBoolean>(true), std::make_shared<CBoolean>(false)), 1);
    EXPECT_EQ(Object::compare(std::make_shared<CBoolean>(false), std::make_shared<CBoolean>(true)), -1);
    EXPECT_EQ(Object::compare(std::make_shared<CDate>(45000.5), std::make_shared<CDate>(45000.25)), 1);
}

TEST_F(CompareTest, NaNCountsAsEqual)
{
    EXPECT_EQ(Object::compare(real(std::nan("")), real(1.0)), 0);
}

TEST_F(CompareTest, TextsIgnoreLetterCaseIncludingCyrillic)
{
    EXPECT_EQ(Object::compare(text("Abc"), text("aBC")), 0);
    EXPECT_EQ(Object::compare(text("Сумма"), text("СУММА")), 0);
    EXPECT_EQ(Object::compare(text("ёлка"), text("ЁЛКА")), 0);
    EXPECT_LT(Object::compare(text("a"), text("B")), 0);
}

TEST_F(CompareTest, DifferentTypesAreAnError)
{
    auto e = raised([] { Object::compare(integer(1), real(1.0)); });
    EXPECT_EQ(e.place, "Object.compare(Object*, Object*)");
    EXPECT_EQ(e.message, "Сравнение объектов разных типов не поддерживается");
}

TEST_F(CompareTest, ContainersCannotBeCompared)
{
    auto packs = raised([] { Object::compare(std::make_shared<DataPack>(), std::make_shared<DataPack>()); });
    EXPECT_EQ(packs.place, "Value.compare(Object* , Object* )");
    EXPECT_EQ(packs.message, "Сравнение объектов данного типа не поддерживается: 9");
    auto vectors = raised([] { Object::compare(std::make_shared<Vector>(), std::make_shared<Vector>()); });
    EXPECT_EQ(vectors.message, "Сравнение объектов данного типа не поддерживается: 10");
}

class ConvertTest : public RegionalSettingsTest {};

TEST_F(ConvertTest, NullStaysNullForAnyTarget)
{
    EXPECT_EQ(Object::convert(nullptr, 1), nullptr);
    EXPECT_EQ(Object::convert(nullptr, 42), nullptr);
}

TEST_F(ConvertTest, TextBecomesTheDeclaredValue)
{
    auto source = text("12");
    EXPECT_EQ(Object::convert(source, TYPE_STRING), source);
    auto number = Object::convert(source, TYPE_INTEGER);
    ASSERT_EQ(number->getType(), TYPE_INTEGER);
    EXPECT_EQ(static_cast<CInteger&>(*number).getValue(), 12);
    EXPECT_EQ(static_cast<CString&>(*source).getValue(), "12");
}

TEST_F(ConvertTest, RealsAndDatesFollowRegionalSettings)
{
    russian();
    EXPECT_EQ(static_cast<CDouble&>(*Object::convert(text("2,5"), TYPE_DOUBLE)).getValue(), 2.5);
    auto date = Object::convert(text("31.12.1899"), TYPE_DATE);
    EXPECT_EQ(static_cast<CDate&>(*date).getValue(), 1.0);
    english();
    EXPECT_EQ(static_cast<CDouble&>(*Object::convert(text("2.5"), TYPE_DOUBLE)).getValue(), 2.5);
}

TEST_F(ConvertTest, UnsupportedConversionsNameBothCodes)
{
    auto e = raised([] { Object::convert(integer(1), TYPE_INTEGER); });
    EXPECT_EQ(e.place, "Object.convert(Object*, int)");
    EXPECT_EQ(e.message, "Преобразование из типа 1 в тип 1 не поддерживается");
    EXPECT_EQ(raised([] { Object::convert(text("x"), TYPE_BOOLEAN); }).message,
              "Преобразование из типа 5 в тип 4 не поддерживается");
}

TEST_F(ConvertTest, TextThatDoesNotParseRaisesThePlatformError)
{
    EXPECT_THROW(Object::convert(text("abc"), TYPE_INTEGER), Exception);
    try {
        Object::convert(text("abc"), TYPE_INTEGER);
    } catch (const SystemException&) {
        FAIL() << "a parse error is not the system's own error";
    } catch (const Exception&) {
    }
}

class TextFormTest : public RegionalSettingsTest {};

TEST_F(TextFormTest, ListingTextOfValues)
{
    russian();
    EXPECT_EQ(Object::toText(nullptr), "null");
    EXPECT_EQ(Object::toText(real(2.5)), "2.50");
    EXPECT_EQ(Object::toText(real(3.14159)), "3.14");
    EXPECT_EQ(real(2.5)->toString(), "2,5");
    EXPECT_EQ(Object::toText(std::make_shared<Vector>()), "V");
    EXPECT_EQ(Object::toText(integer(-7)), "-7");
    EXPECT_EQ(Object::toText(std::make_shared<CBoolean>(true)), "true");
    EXPECT_EQ(CString().toString(), "");
}

TEST_F(TextFormTest, GeneralNumberTextUnderBothSettings)
{
    russian();
    EXPECT_EQ(real(1.0 / 3.0)->toString(), "0,333333333333333");
    EXPECT_EQ(real(100)->toString(), "100");
    EXPECT_EQ(real(0.5)->toString(), "0,5");
    english();
    EXPECT_EQ(real(0.5)->toString(), "0.5");
    EXPECT_EQ(real(1e20)->toString(), "1E20");
    EXPECT_EQ(real(1.5e-7)->toString(), "1.5E-7");
}

TEST_F(TextFormTest, DateShowsTheDatePartOnly)
{
    russian();
    EXPECT_EQ(std::make_shared<CDate>(45292.75)->toString(), "01.01.2024");
}

TEST_F(TextFormTest, ObjectWithoutTextSaysSo)
{
    struct Bare : Object {
        Bare() : Object(0) {}
    };
    EXPECT_EQ(Bare().toString(), "Метод toString() не определен");
    EXPECT_EQ(Bare().clone(), nullptr);
}

class RoundToTest : public ::testing::Test {};

TEST_F(RoundToTest, AddsFiveHundredFiftyFiveThousandthsOfTheLastUnit)
{
    EXPECT_EQ(CDouble::roundTo(1.2345, 2), 1.24);
    EXPECT_EQ(CDouble::roundTo(0.4449, 2), 0.45);
    EXPECT_EQ(CDouble::roundTo(1.004, 2), 1.0);
    EXPECT_EQ(CDouble::roundTo(0.004, 2), 0.0);
    EXPECT_EQ(CDouble::roundTo(-1.5, 2), -1.49);
    EXPECT_EQ(CDouble::roundTo(12.3445, 2), 12.35);
    EXPECT_EQ(CDouble::roundTo(5.33, 2), 5.33);
}

TEST_F(RoundToTest, LargeValuesAreRoundedInsteadOfWrapping)
{
    EXPECT_EQ(CDouble::roundTo(1e101 * 100.0 / 1e95, 2), 1e101 * 100.0 / 1e95);
    EXPECT_EQ(CDouble::roundTo(30000000.004, 2), 30000000.0);
    EXPECT_EQ(CDouble::roundTo(1e101, 2), 1e101);
    EXPECT_TRUE(std::isnan(CDouble::roundTo(std::nan(""), 2)));
    EXPECT_EQ(CDouble::roundTo(0.12345678901, 10), 1234567890 / 1e10);
}

TEST_F(RoundToTest, ClonesAreIndependentCopies)
{
    auto a = real(1.25);
    auto b = a->clone();
    EXPECT_NE(a, b);
    EXPECT_EQ(b->getType(), TYPE_DOUBLE);
    EXPECT_EQ(static_cast<CDouble&>(*b).getValue(), 1.25);
    EXPECT_EQ(static_cast<CDouble&>(*a).toString(3), "1.250");
}

}  // namespace
