#include "runtime/Runtime.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cfloat>
#include <chrono>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <limits>
#include <filesystem>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

namespace {

std::string utf8(const char8_t* text)
{
    return reinterpret_cast<const char*>(text);
}

std::string errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Exception& e) {
        return e.text();
    }
    return "<no error>";
}

// Every test starts from the English settings and leaves the process-wide settings as
// it found them.
class RegionalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = formatSettings();
        setFormatSettings(FormatSettings::english());
    }
    void TearDown() override { setFormatSettings(saved); }

    void useRussian() { setFormatSettings(FormatSettings::russian()); }

private:
    FormatSettings saved;
};

}  // namespace

class FormatSettingsTest : public RegionalTest {};

TEST_F(FormatSettingsTest, PresetsHoldTheirSeparatorsAndOrder)
{
    FormatSettings ru = FormatSettings::russian();
    EXPECT_EQ(',', ru.decimalSeparator);
    EXPECT_EQ('.', ru.dateSeparator);
    EXPECT_EQ(FormatSettings::DateOrder::DMY, ru.dateOrder);
    EXPECT_EQ(':', ru.timeSeparator);
    FormatSettings en = FormatSettings::english();
    EXPECT_EQ('.', en.decimalSeparator);
    EXPECT_EQ('/', en.dateSeparator);
    EXPECT_EQ(FormatSettings::DateOrder::MDY, en.dateOrder);
}

TEST_F(FormatSettingsTest, LocalePatternsGiveOrderAndSeparators)
{
    EXPECT_EQ(FormatSettings::russian(), FormatSettings::fromLocaleFormats(",", "%d.%m.%Y", "%T"));
    EXPECT_EQ(FormatSettings::english(), FormatSettings::fromLocaleFormats(".", "%m/%d/%y", "%H:%M:%S"));
    EXPECT_EQ(FormatSettings::english(), FormatSettings::fromLocaleFormats(".", "%D", "%r"));

    FormatSettings iso = FormatSettings::fromLocaleFormats(".", "%Y-%m-%d", "%H.%M.%S");
    EXPECT_EQ(FormatSettings::DateOrder::YMD, iso.dateOrder);
    EXPECT_EQ('-', iso.dateSeparator);
    EXPECT_EQ('.', iso.timeSeparator);
    EXPECT_EQ(iso, FormatSettings::fromLocaleFormats(".", "%F", "%H.%M.%S"));

    FormatSettings hungarian = FormatSettings::fromLocaleFormats(",", "%Y. %m. %d.", "%H:%M:%S");
    EXPECT_EQ(FormatSettings::DateOrder::YMD, hungarian.dateOrder);
    EXPECT_EQ('.', hungarian.dateSeparator);
}

TEST_F(FormatSettingsTest, UnreadablePiecesKeepTheEnglishOnes)
{
    FormatSettings named = FormatSettings::fromLocaleFormats(",", "%d %b %Y", "%H:%M:%S");
    EXPECT_EQ(',', named.decimalSeparator);
    EXPECT_EQ(FormatSettings::DateOrder::MDY, named.dateOrder);
    EXPECT_EQ('/', named.dateSeparator);

    FormatSettings arabic = FormatSettings::fromLocaleFormats(utf8(u8"\u066B"), "%d/%m/%Y", "%H:%M:%S");
    EXPECT_EQ('.', arabic.decimalSeparator);
    EXPECT_EQ(FormatSettings::DateOrder::DMY, arabic.dateOrder);

    EXPECT_EQ(FormatSettings::english(), FormatSettings::fromLocaleFormats("", "", ""));
    EXPECT_EQ(FormatSettings::english(), FormatSettings::fromLocaleFormats(".", "%d.%d.%Y", "%"));
}

TEST_F(FormatSettingsTest, CLocaleReadsAsEnglish)
{
    std::string previous = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    FormatSettings read = FormatSettings::fromLocale();
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(FormatSettings::english(), read);
}

class StrToIntTest : public RegionalTest {};

TEST_F(StrToIntTest, AcceptsSignedDecimalsToTheLimits)
{
    EXPECT_EQ(2147483647, StrToInt("2147483647"));
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), StrToInt("-2147483648"));
    EXPECT_EQ(42, StrToInt("+42"));
    EXPECT_EQ(7, StrToInt("007"));
    EXPECT_EQ(0, StrToInt("-0"));
}

TEST_F(StrToIntTest, RejectsEverythingElseWithTheText)
{
    EXPECT_EQ("'abc' is not a valid integer value", errorText([] { StrToInt("abc"); }));
    EXPECT_EQ("'99999999999' is not a valid integer value", errorText([] { StrToInt("99999999999"); }));
    EXPECT_EQ("'' is not a valid integer value", errorText([] { StrToInt(""); }));
    EXPECT_EQ("' 1' is not a valid integer value", errorText([] { StrToInt(" 1"); }));
    for (const char* bad : {"1 ", "2147483648", "-2147483649", "+", "-", "+-1", "--1", "1.0", "1e3", "0x10", "12a"})
        EXPECT_THROW(StrToInt(bad), Exception) << bad;
}

class StrToFloatTest : public RegionalTest {};

TEST_F(StrToFloatTest, ReadsTheRegionalSeparatorOnly)
{
    EXPECT_EQ(0.5, StrToFloat("0.5"));
    EXPECT_THROW(StrToFloat("0,5"), Exception);
    useRussian();
    EXPECT_EQ(0.5, StrToFloat("0,5"));
    EXPECT_EQ("'0.5' is not a valid floating point value", errorText([] { StrToFloat("0.5"); }));
}

TEST_F(StrToFloatTest, TakesSignsExponentsAndBareSeparators)
{
    EXPECT_EQ(-2000.0, StrToFloat("-2e3"));
    EXPECT_EQ(1.5e-7, StrToFloat("1.5E-7"));
    EXPECT_EQ(1e20, StrToFloat("+1e+20"));
    EXPECT_EQ(0.5, StrToFloat(".5"));
    EXPECT_EQ(5.0, StrToFloat("5."));
    EXPECT_EQ(12.0, StrToFloat("12"));
    EXPECT_TRUE(std::signbit(StrToFloat("-0")));
    EXPECT_EQ(0.1 + 0.2, StrToFloat("0.30000000000000004"));
}

TEST_F(StrToFloatTest, RejectsMalformedAndOutOfRangeTexts)
{
    for (const char* bad : {"", " 1", "1 ", "-", ".", "e5", "1e", "1e+", "1.2.3", "inf", "-INF", "nan", "NaN",
                            "0x1p3", "1,5", "1e999", "-1e999", "1e-999", "1..2", "++1", "1_000"})
        EXPECT_THROW(StrToFloat(bad), Exception) << bad;
}

class FloatToStrTest : public RegionalTest {};

TEST_F(FloatToStrTest, PrintsTheShortestFixedTextUpTo15Digits)
{
    EXPECT_EQ("0", FloatToStr(0.0));
    EXPECT_EQ("0", FloatToStr(-0.0));
    EXPECT_EQ("100", FloatToStr(100.0));
    EXPECT_EQ("0.5", FloatToStr(0.5));
    EXPECT_EQ("0.3", FloatToStr(0.1 + 0.2));
    EXPECT_EQ("-1234.5", FloatToStr(-1234.5));
    EXPECT_EQ("0.666666666666667", FloatToStr(2.0 / 3.0));
    EXPECT_EQ("123456789012345", FloatToStr(123456789012345.0));
    EXPECT_EQ("999999999999999", FloatToStr(999999999999999.0));
    EXPECT_EQ("0.00001", FloatToStr(0.00001));
    EXPECT_EQ("-0.0000123", FloatToStr(-0.0000123));
}

TEST_F(FloatToStrTest, UsesTheRegionalSeparator)
{
    useRussian();
    EXPECT_EQ("0,333333333333333", FloatToStr(1.0 / 3.0));
    EXPECT_EQ("0,5", FloatToStr(0.5));
    EXPECT_EQ("100", FloatToStr(100.0));
    EXPECT_EQ("1,5E-7", FloatToStr(1.5e-7));
}

TEST_F(FloatToStrTest, SwitchesToScientificOutsideTheFixedRange)
{
    EXPECT_EQ("1E15", FloatToStr(1e15));
    EXPECT_EQ("1.23456789012346E15", FloatToStr(1234567890123456.0));
    // Rounding to 15 digits carries into a 16th integer digit.
    EXPECT_EQ("1E15", FloatToStr(999999999999999.9));
    EXPECT_EQ("1E20", FloatToStr(1e20));
    EXPECT_EQ("1.5E-7", FloatToStr(1.5e-7));
    EXPECT_EQ("-2.5E-6", FloatToStr(-2.5e-6));
    EXPECT_EQ("9.9999E-6", FloatToStr(0.0000099999));
    EXPECT_EQ("1.79769313486232E308", FloatToStr(DBL_MAX));
    EXPECT_EQ("4.94065645841247E-324", FloatToStr(std::numeric_limits<double>::denorm_min()));
}

TEST_F(FloatToStrTest, NamesTheSpecialValues)
{
    EXPECT_EQ("NAN", FloatToStr(std::nan("")));
    EXPECT_EQ("INF", FloatToStr(HUGE_VAL));
    EXPECT_EQ("-INF", FloatToStr(-HUGE_VAL));
}

TEST_F(FloatToStrTest, TextReadsBackToFifteenDigitsUnderBothSettings)
{
    for (double v : {1.0 / 3.0, -2.5e-6, 1e20, 123.456, 0.00001, 7e-300}) {
        EXPECT_NEAR(v, StrToFloat(FloatToStr(v)), std::fabs(v) * 1e-14) << v;
        useRussian();
        EXPECT_NEAR(v, StrToFloat(FloatToStr(v)), std::fabs(v) * 1e-14) << v;
        setFormatSettings(FormatSettings::english());
    }
}

class FixedTextTest : public RegionalTest {};

TEST_F(FixedTextTest, MatchesPrintfWithAPointWhateverTheSettings)
{
    useRussian();
    EXPECT_EQ("3.14", FormatFixed(3.14159, 2));
    EXPECT_EQ("2.50", FormatFixed(2.5, 2));
    // An exact half goes to the even digit, as printf does.
    EXPECT_EQ("2", FormatFixed(2.5, 0));
    for (double v : {0.125, 0.375, -0.004, 1e20, -1234.5678, 1.005, 1e-7, 0.0}) {
        for (int decimals : {0, 1, 2, 6}) {
            char expected[128];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
            EXPECT_EQ(expected, FormatFixed(v, decimals)) << v << " " << decimals;
        }
    }
}

TEST_F(FixedTextTest, IntegersPrintPlain)
{
    EXPECT_EQ("0", IntToStr(0));
    EXPECT_EQ("-5", IntToStr(-5));
    EXPECT_EQ("-9223372036854775808", IntToStr(std::numeric_limits<int64_t>::min()));
}

class DateTextTest : public RegionalTest {};

TEST_F(DateTextTest, DayNumbersCountFromTheEndOf1899)
{
    useRussian();
    EXPECT_EQ("30.12.1899", DateToStr(0));
    EXPECT_EQ("31.12.1899", DateToStr(1));
    EXPECT_EQ("01.01.1900", DateToStr(2));
    EXPECT_EQ("28.02.1900", DateToStr(60));
    EXPECT_EQ("01.03.1900", DateToStr(61));
    EXPECT_EQ("29.02.2024", DateToStr(45351));
    EXPECT_EQ("31.12.2024", DateToStr(45657));
    EXPECT_EQ("29.12.1899", DateToStr(-1));
    EXPECT_EQ("01.01.0001", DateToStr(-693593));
    EXPECT_EQ("31.12.9999", DateToStr(2958465));
}

TEST_F(DateTextTest, FollowsTheRegionalOrderAndSeparator)
{
    EXPECT_EQ("12/31/2024", DateToStr(45657));
    FormatSettings iso = FormatSettings::english();
    iso.dateOrder = FormatSettings::DateOrder::YMD;
    iso.dateSeparator = '-';
    setFormatSettings(iso);
    EXPECT_EQ("2024-01-05", DateToStr(45296));
    EXPECT_EQ(45296, StrToDate("2024-1-5"));
}

TEST_F(DateTextTest, DateTextShowsNoTime)
{
    useRussian();
    EXPECT_EQ("31.12.2024", DateToStr(45657.75));
}

TEST_F(DateTextTest, DateTimeTextLeavesOutMidnight)
{
    useRussian();
    EXPECT_EQ("31.12.2024", DateTimeToStr(45657));
    EXPECT_EQ("31.12.2024 12:00:00", DateTimeToStr(45657.5));
    EXPECT_EQ("31.12.2024 23:59:58", DateTimeToStr(45657 + 86398.0 / 86400));
    EXPECT_EQ("31.12.2024 00:00:01", DateTimeToStr(45657 + 1.0 / 86400));
    // A fraction a hair short of the next day rounds into it.
    EXPECT_EQ("01.01.2025", DateTimeToStr(45658 - 1e-10));
    setFormatSettings(FormatSettings::english());
    EXPECT_EQ("12/31/2024 06:30:15", DateTimeToStr(45657 + (6 * 3600 + 30 * 60 + 15) / 86400.0));
}

TEST_F(DateTextTest, NegativeNumbersCarryTheTimeAsTheirFraction)
{
    useRussian();
    EXPECT_EQ("29.12.1899 06:00:00", DateTimeToStr(-1.25));
    EXPECT_EQ(-1.25, StrToDateTime("29.12.1899 06:00"));
    EXPECT_EQ("30.12.1899 12:00:00", DateTimeToStr(0.5));
    EXPECT_EQ(0.5, StrToDateTime("30.12.1899 12:00:00"));
    EXPECT_EQ(-700.75, StrToDateTime(DateTimeToStr(-700.75)));
}

TEST_F(DateTextTest, EveryDayRoundTripsAcrossCenturiesAndLeapDays)
{
    useRussian();
    int leapDays = 0;
    // 1800-01-01 to 2101-01-01: negative numbers, the non-leap 1900 and the leap 2000.
    for (int day = -36522; day <= 73416; ++day) {
        std::string text = DateToStr(day);
        ASSERT_EQ(day, StrToDate(text)) << text;
        if (text.compare(0, 5, "29.02") == 0)
            ++leapDays;
    }
    EXPECT_EQ(73, leapDays);
    EXPECT_EQ("01.01.1800", DateToStr(-36522));
    EXPECT_EQ("01.01.2101", DateToStr(73416));
}

TEST_F(DateTextTest, ParsesShortFieldsAndTwoDigitYears)
{
    useRussian();
    EXPECT_EQ(45296, StrToDate("5.1.2024"));
    EXPECT_EQ(45296, StrToDate("05.01.2024"));
    EXPECT_EQ(45296, StrToDate("5.1.24"));
    EXPECT_EQ("01.01.1969", DateToStr(StrToDate("1.1.69")));
    EXPECT_EQ("31.12.2068", DateToStr(StrToDate("31.12.68")));
    EXPECT_EQ(45657 + (23 * 3600 + 59 * 60 + 58) / 86400.0, StrToDateTime("31.12.2024 23:59:58"));
    EXPECT_EQ(45657 + 9.5 / 24, StrToDateTime("31.12.2024 9:30"));
    EXPECT_EQ(45657, StrToDateTime("31.12.2024"));
    setFormatSettings(FormatSettings::english());
    EXPECT_EQ(45657, StrToDate("12/31/2024"));
}

TEST_F(DateTextTest, RejectsDatesThatDoNotExist)
{
    useRussian();
    EXPECT_EQ("'31.02.2024' is not a valid date", errorText([] { StrToDate("31.02.2024"); }));
    EXPECT_EQ("'29.02.2023 10:00' is not a valid date and time", errorText([] { StrToDateTime("29.02.2023 10:00"); }));
    for (const char* bad : {"29.02.1900", "32.01.2024", "00.01.2024", "01.13.2024", "01.00.2024", "01.01.0000",
                            "1.1.202", "1.1.20245", "12/31/2024", "31-12-2024", "", "31.12", "31.12.2024 ",
                            " 31.12.2024", "123.12.2024", "31.12.2024 12:00"})
        EXPECT_THROW(StrToDate(bad), Exception) << bad;
    for (const char* bad : {"31.12.2024 24:00", "31.12.2024 12:60", "31.12.2024 12:00:60", "31.12.2024 12",
                            "31.12.2024  12:00", "31.12.2024 12:00:", "31.12.2024 12:00:00.5", "31.12.2024T12:00"})
        EXPECT_THROW(StrToDateTime(bad), Exception) << bad;
}

TEST_F(DateTextTest, NumbersOutsideTheFourDigitYearsAreRefused)
{
    EXPECT_THROW(DateToStr(-693594), Exception);
    EXPECT_THROW(DateToStr(2958466), Exception);
    EXPECT_THROW(DateToStr(1e300), Exception);
    EXPECT_THROW(DateTimeToStr(std::nan("")), Exception);
}

TEST_F(DateTextTest, NowIsTheLocalClockToTheMillisecond)
{
    double before = static_cast<double>(std::time(nullptr)) / 86400 + 25569;
    double now = Now();
    // The local zone is at most 14 hours from UTC.
    EXPECT_LT(std::fabs(now - before), 15.0 / 24);
    double ms = (now - std::floor(now)) * 86400000;
    EXPECT_NEAR(std::round(ms), ms, 1e-3);
    EXPECT_NO_THROW(StrToDateTime(DateTimeToStr(now)));
}

// The form the databases give their dates and times in.
class IsoDateTest : public RegionalTest {};

TEST_F(IsoDateTest, DatesAndTimesBecomeDateTimeNumbers)
{
    useRussian();
    double value = -1;
    ASSERT_TRUE(parseIsoDateTime("1899-12-30", value));
    EXPECT_EQ(value, 0.0);
    ASSERT_TRUE(parseIsoDateTime("2003-05-17", value));
    EXPECT_EQ(value, StrToDate("17.05.2003"));
    ASSERT_TRUE(parseIsoDateTime("2003-05-17 10:20:30", value));
    EXPECT_EQ(value, StrToDateTime("17.05.2003 10:20:30"));
    ASSERT_TRUE(parseIsoDateTime("2003-05-17T10:20:30", value));
    EXPECT_EQ(value, StrToDateTime("17.05.2003 10:20:30"));
    ASSERT_TRUE(parseIsoDateTime("2003-05-17 10:20:30.5", value));
    EXPECT_NEAR((value - StrToDateTime("17.05.2003 10:20:30")) * 86400.0, 0.5, 1e-6);
    ASSERT_TRUE(parseIsoDateTime("1899-12-29 06:00:00", value));
    EXPECT_EQ(value, -1.25);
    ASSERT_TRUE(parseIsoDateTime("06:00", value));
    EXPECT_EQ(value, 0.25);
    ASSERT_TRUE(parseIsoDateTime("2000-02-29 00:00:00+03", value));
    EXPECT_EQ(value, StrToDate("29.02.2000"));
}

TEST_F(IsoDateTest, RefusesOtherFormsAndDaysThatDoNotExist)
{
    double value = 0;
    for (const char* bad : {"", "2003-02-29", "2003-13-01", "2003-5-17", "17.05.2003", "2003-05-17 24:00:00",
                            "2003-05-17 10:60", "2003-05-17x", "2003-05-17 10:20:30.", "infinity", "0000-01-01"})
        EXPECT_FALSE(parseIsoDateTime(bad, value)) << bad;
}

class TextTest : public ::testing::Test {};

TEST_F(TextTest, UpperCaseCoversLatinAndCyrillicLetters)
{
    EXPECT_EQ("ABCXYZ019", AnsiUpperCase("abcXYZ019"));
    EXPECT_EQ("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ", AnsiUpperCase("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"));
    EXPECT_EQ("ЂЃЉЊЌЋЏЎЈҐЄЇІЅ", AnsiUpperCase("ђѓљњќћџўјґєїіѕ"));
    EXPECT_EQ("µ№«»", AnsiUpperCase("µ№«»"));
}

TEST_F(TextTest, UpperCaseIsStableOnEveryByte)
{
    int changed = 0;
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        std::string upper = AnsiUpperCase(one);
        EXPECT_EQ(upper, AnsiUpperCase(upper)) << b;
        if (upper != one)
            ++changed;
    }
    // 26 Latin, 32 basic Cyrillic, ё and 14 other Cyrillic letters.
    EXPECT_EQ(26 + 32 + 1 + 14, changed);
}

TEST_F(TextTest, CompareIgnoresCase)
{
    EXPECT_EQ(0, AnsiCompareText("Сумма", "СУММА"));
    EXPECT_EQ(0, AnsiCompareText("Abc", "aBC"));
    EXPECT_EQ(0, AnsiCompareText("ёлка", "ЁЛКА"));
    EXPECT_EQ(0, AnsiCompareText("", ""));
}

TEST_F(TextTest, CompareOrdersTheAlphabetWithYoAfterYe)
{
    EXPECT_LT(AnsiCompareText("Е", "Ё"), 0);
    EXPECT_LT(AnsiCompareText("ё", "Ж"), 0);
    EXPECT_LT(AnsiCompareText("ежик", "ёжик"), 0);
    EXPECT_LT(AnsiCompareText("ёжик", "жук"), 0);
    EXPECT_LT(AnsiCompareText("а", "Б"), 0);
    EXPECT_LT(AnsiCompareText("z", "а"), 0);
    EXPECT_LT(AnsiCompareText("abc", "ABCD"), 0);
    EXPECT_LT(AnsiCompareText("", "a"), 0);
    EXPECT_GT(AnsiCompareText("Я", "а"), 0);
    EXPECT_GT(AnsiCompareText("ABCD", "abc"), 0);
}

TEST_F(TextTest, TrimDropsControlBytesButNotHighOnes)
{
    EXPECT_EQ("abc", Trim("\t\r\n  abc \x01"));
    EXPECT_EQ("a b", Trim(" a b "));
    EXPECT_EQ("", Trim("   "));
    EXPECT_EQ("", Trim(""));
    EXPECT_EQ("яблоко", Trim("  яблоко\n"));
    EXPECT_EQ("\xA0x\xA0", Trim("\xA0x\xA0"));
}

TEST_F(TextTest, PosIsOneBasedAndCaseSensitive)
{
    EXPECT_EQ(2, AnsiPos("b", "abcb"));
    EXPECT_EQ(1, AnsiPos("abc", "abc"));
    EXPECT_EQ(0, AnsiPos("B", "abc"));
    EXPECT_EQ(0, AnsiPos("x", "abc"));
    EXPECT_EQ(0, AnsiPos("", "abc"));
    EXPECT_EQ(0, AnsiPos("abcd", "abc"));
    EXPECT_EQ(8, AnsiPos("FROM", "SELECT FROM T"));
    EXPECT_EQ(3, AnsiPos("мм", "Сумма"));
}

TEST_F(TextTest, ReplaceTakesEveryOccurrenceOnce)
{
    EXPECT_EQ("a--b--c", AnsiReplaceStr("a\nb\nc", "\n", "--"));
    EXPECT_EQ("ba", AnsiReplaceStr("aaa", "aa", "b"));
    EXPECT_EQ("aaaa", AnsiReplaceStr("aa", "a", "aa"));
    EXPECT_EQ("Abc", AnsiReplaceStr("Abc", "a", "x"));
    EXPECT_EQ("abc", AnsiReplaceStr("abc", "", "x"));
    EXPECT_EQ("ac", AnsiReplaceStr("abc", "b", ""));
    EXPECT_EQ("", AnsiReplaceStr("", "a", "b"));
}

class CodePageTest : public ::testing::Test {};

TEST_F(CodePageTest, CyrillicTextConvertsBothWays)
{
    EXPECT_EQ(utf8(u8"Сумма ёЁ №1 €"), Cp1251ToUtf8("Сумма ёЁ №1 €"));
    EXPECT_EQ("Анализ завершен", Utf8ToCp1251(utf8(u8"Анализ завершен")));
    EXPECT_EQ(std::string("\xC0\xFF\xA8\xB8"), Utf8ToCp1251(utf8(u8"АяЁё")));
}

TEST_F(CodePageTest, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        std::string one(1, static_cast<char>(b));
        EXPECT_EQ(one, Utf8ToCp1251(Cp1251ToUtf8(one))) << b;
        all += one;
    }
    EXPECT_EQ(all, Utf8ToCp1251(Cp1251ToUtf8(all)));
    EXPECT_EQ(utf8(u8"\u0098"), Cp1251ToUtf8("\x98"));
}

TEST_F(CodePageTest, CharactersWithoutACp1251FormAreNamed)
{
    EXPECT_EQ("The character U+4E2D at offset 1 has no cp1251 form",
              errorText([] { Utf8ToCp1251(utf8(u8"a\u4E2D")); }));
    EXPECT_NE(std::string::npos, errorText([] { Utf8ToCp1251(utf8(u8"\U0001F600")); }).find("U+1F600"));
    EXPECT_NE(std::string::npos, errorText([] { Utf8ToCp1251(utf8(u8"caf\u00E9")); }).find("U+00E9"));
    // A tag character too, which glibc's iconv would drop without a word.
    EXPECT_EQ("The character U+E0019 at offset 1 has no cp1251 form", errorText([] { Utf8ToCp1251("a\xF3\xA0\x80\x99"); }));
}

TEST_F(CodePageTest, InvalidUtf8IsRefused)
{
    EXPECT_EQ("Invalid UTF-8 byte 0xFF at offset 1", errorText([] { Utf8ToCp1251("a\xFF"); }));
    for (const char* bad : {"\xD0", "\xD0x", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80"})
        EXPECT_THROW(Utf8ToCp1251(bad), Exception) << static_cast<unsigned>(static_cast<unsigned char>(bad[0]));
}

TEST_F(CodePageTest, ReplacingTurnsWhatCp1251CannotHoldIntoQuestionMarks)
{
    EXPECT_EQ("Анализ \x98", Utf8ToCp1251Replacing(utf8(u8"Анализ \u0098")));
    EXPECT_EQ("a?b?", Utf8ToCp1251Replacing(utf8(u8"a\u4E2Db\U0001F600")));
    EXPECT_EQ("?", Utf8ToCp1251Replacing(utf8(u8"\U000E0019")));
    EXPECT_EQ("a?b", Utf8ToCp1251Replacing("a\xFF" "b"));
    EXPECT_EQ("??x", Utf8ToCp1251Replacing("\xE0\xA0x"));
    EXPECT_EQ("??", Utf8ToCp1251Replacing("\xC0\x80"));
    EXPECT_EQ("???", Utf8ToCp1251Replacing("\xED\xA0\x80"));
    EXPECT_EQ("?", Utf8ToCp1251Replacing("\xD0"));
}

// Every test leaves the character set as the process starts with it: UTF-8.
class LocaleCharsetTest : public ::testing::Test {
protected:
    void TearDown() override { setLocaleCharset("UTF-8"); }
};

TEST_F(LocaleCharsetTest, Utf8AndThePlainCLocaleReadTheSame)
{
    for (const char* codeset : {"UTF-8", "utf8", "ANSI_X3.4-1968"}) {
        SCOPED_TRACE(codeset);
        setLocaleCharset(codeset);
        EXPECT_EQ("папка ?", LocaleToCp1251(utf8(u8"папка \u4E2D")));
        EXPECT_EQ("?", LocaleToCp1251("\xFF"));
        EXPECT_EQ(utf8(u8"папка №1"), Cp1251ToLocale("папка №1"));
    }
}

TEST_F(LocaleCharsetTest, Cp1251LocaleTakesTheBytesAsTheyAre)
{
    setLocaleCharset("CP1251");
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(all, LocaleToCp1251(all));
    EXPECT_EQ(all, Cp1251ToLocale(all));
}

TEST_F(LocaleCharsetTest, OtherCharsetsGoThroughIconv)
{
    setLocaleCharset("KOI8-R");
    EXPECT_EQ("абв", LocaleToCp1251("\xC1\xC2\xD7"));
    EXPECT_EQ("\xC1\xC2\xD7", Cp1251ToLocale("абв"));
    EXPECT_EQ("a?b", Cp1251ToLocale("a€b"));
}

TEST_F(LocaleCharsetTest, UnknownCharsetIsRefusedAtOnce)
{
    EXPECT_THROW(setLocaleCharset("NO-SUCH-CHARSET"), Exception);
    EXPECT_EQ("абв", LocaleToCp1251(utf8(u8"абв")));
}

class CommandLineTest : public ::testing::Test {};

TEST_F(CommandLineTest, ArgumentsCountFromOne)
{
    std::string program = "dodoz", key = "42", extra = "x";
    char* argv[] = {program.data(), key.data(), extra.data()};
    setCommandLine(3, argv);
    EXPECT_EQ(2, ParamCount());
    EXPECT_EQ("dodoz", ParamStr(0));
    EXPECT_EQ("42", ParamStr(1));
    EXPECT_EQ("", ParamStr(3));
    EXPECT_EQ("", ParamStr(-1));
    setCommandLine(1, argv);
    EXPECT_EQ(0, ParamCount());
    EXPECT_EQ("", ParamStr(1));
}

TEST_F(CommandLineTest, ArgumentsComeInFromTheLocaleCharset)
{
    std::string program = "dodoz", cyrillic = utf8(u8"абв"), beyond = utf8(u8"5\u4E2D"), invalid = "\xFF" "1";
    char* argv[] = {program.data(), cyrillic.data(), beyond.data(), invalid.data()};
    setCommandLine(4, argv);
    EXPECT_EQ("абв", ParamStr(1));
    EXPECT_EQ("5?", ParamStr(2));
    EXPECT_EQ("?1", ParamStr(3));
}

class FileTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(FileTest, CurrentDirHasNoTrailingSeparator)
{
    CurrentDir inside(dir.path());
    EXPECT_EQ(dir.path().string(), GetCurrentDir());
    CurrentDir root("/");
    EXPECT_EQ("/", GetCurrentDir());
}

TEST_F(FileTest, ForceDirectoriesCreatesParents)
{
    std::string nested = dir / "a/b/c";
    EXPECT_TRUE(ForceDirectories(nested));
    struct stat info {};
    ASSERT_EQ(0, stat(nested.c_str(), &info));
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_TRUE(ForceDirectories(nested));
    EXPECT_TRUE(ForceDirectories(nested + "/"));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST_F(FileTest, ForceDirectoriesFailsBelowARegularFile)
{
    TempDir::write(dir / "plain", "x");
    EXPECT_FALSE(ForceDirectories(dir / "plain"));
    EXPECT_FALSE(ForceDirectories(dir / "plain/sub"));
}

TEST_F(FileTest, FileExistsOnlyForRegularFiles)
{
    TempDir::write(dir / "f", "");
    EXPECT_TRUE(FileExists(dir / "f"));
    EXPECT_FALSE(FileExists(dir.path().string()));
    EXPECT_FALSE(FileExists(dir / "missing"));
}

TEST_F(FileTest, CreateMakesANewFileAndWritesAtThePosition)
{
    std::string path = dir / "f.log";
    int h = FileCreate(path);
    ASSERT_NE(-1, h);
    EXPECT_EQ(5, FileWrite(h, "hello", 5));
    EXPECT_EQ(5, FileSeek(h, 0, 1));
    EXPECT_EQ(0, FileWrite(h, "", 0));
    FileClose(h);
    EXPECT_EQ("hello", TempDir::read(path));
    struct stat info {};
    ASSERT_EQ(0, stat(path.c_str(), &info));
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST_F(FileTest, OpenForReadWriteAndSeekToTheEnd)
{
    std::string path = dir / "f.log";
    TempDir::write(path, "hello");
    int h = FileOpen(path, 2);
    ASSERT_NE(-1, h);
    EXPECT_EQ(5, FileSeek(h, 0, 2));
    EXPECT_EQ(6, FileWrite(h, " world", 6));
    EXPECT_EQ(1, FileSeek(h, 1, 0));
    EXPECT_EQ(1, FileWrite(h, "E", 1));
    FileClose(h);
    EXPECT_EQ("hEllo world", TempDir::read(path));
}

TEST_F(FileTest, FailuresGiveMinusOne)
{
    EXPECT_EQ(-1, FileOpen(dir / "missing", 2));
    EXPECT_EQ(-1, FileCreate(dir / "missing/f"));
    EXPECT_EQ(-1, FileSeek(-1, 0, 2));
    EXPECT_EQ(-1, FileWrite(-1, "x", 1));

    std::string path = dir / "f";
    TempDir::write(path, "abc");
    int h = FileOpen(path, 0);
    ASSERT_NE(-1, h);
    EXPECT_EQ(-1, FileWrite(h, "x", 1));
    EXPECT_EQ(-1, FileSeek(h, 0, 7));
    FileClose(h);
    EXPECT_EQ(-1, FileWrite(h, "x", 1));
    EXPECT_EQ("abc", TempDir::read(path));
}

TEST_F(FileTest, DeleteRemovesFilesOnly)
{
    std::string path = dir / "f";
    TempDir::write(path, "x");
    EXPECT_TRUE(DeleteFile(path));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(DeleteFile(path));
    EXPECT_FALSE(DeleteFile(dir.path().string()));
}

TEST_F(FileTest, CreateRefusesWhateverStandsAtThePath)
{
    const std::string file = dir / "file", dangling = dir / "dangling", fifo = dir / "fifo";
    TempDir::write(file, "old content");
    std::filesystem::create_symlink(dir / "target", dangling);
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    for (const std::string& path : {file, dangling, fifo, dir.path().string()}) {
        EXPECT_EQ(-1, FileCreate(path)) << path;
        EXPECT_EQ(EEXIST, errno) << path;
    }
    EXPECT_EQ("old content", TempDir::read(file));
    EXPECT_FALSE(std::filesystem::exists(dir / "target"));
}

TEST_F(FileTest, DeleteRemovesTheEntryNotWhatItPointsTo)
{
    const std::string target = dir / "target", link = dir / "link", fifo = dir / "fifo";
    TempDir::write(target, "keep");
    std::filesystem::create_symlink(target, link);
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0644));
    EXPECT_TRUE(DeleteFile(link));
    EXPECT_TRUE(DeleteFile(fifo));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(fifo)));
    EXPECT_EQ("keep", TempDir::read(target));
}

// Names are cp1251 in the program and UTF-8 on disk.
TEST_F(FileTest, NamesGoOutAndComeInThroughTheLocaleCharset)
{
    const std::filesystem::path folder = dir.path() / utf8(u8"папка");
    const std::string name = dir.path().string() + "/папка";
    EXPECT_TRUE(ForceDirectories(name + "/журнал"));
    EXPECT_TRUE(std::filesystem::is_directory(folder / utf8(u8"журнал")));
    int h = FileCreate(name + "/журнал/Дата.log");
    ASSERT_NE(-1, h);
    FileClose(h);
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / utf8(u8"журнал/Дата.log")));
    EXPECT_TRUE(FileExists(name + "/журнал/Дата.log"));
    h = FileOpen(name + "/журнал/Дата.log", 2);
    EXPECT_NE(-1, h);
    FileClose(h);
    EXPECT_TRUE(DeleteFile(name + "/журнал/Дата.log"));
    CurrentDir inside(folder);
    EXPECT_EQ(name, GetCurrentDir());
}
