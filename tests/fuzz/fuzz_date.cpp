// Date texts under the regional order and separators: StrToDate and StrToDateTime accept
// exactly the existing dates (with an optional time) and give the day number an
// independent calendar computes; DateToStr and DateTimeToStr print any date-time number
// of years 1 to 9999 so that it reads back to the same day and second.

#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "objects/Object.h"
#include "objects/Values.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

std::string show(double value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

std::optional<int> digits(const std::string& text, size_t least, size_t most)
{
    if (text.size() < least || text.size() > most)
        return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Days from 30 December 1899 in the proleptic Gregorian calendar, by the era arithmetic
// rather than the library's calendar types.
int64_t dayNumber(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 25569;
}

bool exists(int y, int m, int d)
{
    static const int length[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1)
        return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= length[m - 1] + (m == 2 && leap ? 1 : 0);
}

// The date-time number the header promises for a text, or nothing when it is refused.
std::optional<double> expected(const std::string& text, bool withTime)
{
    const FormatSettings& s = formatSettings();
    size_t blank = text.find(' ');
    std::vector<std::string> date = split(text.substr(0, blank), s.dateSeparator);
    if (date.size() != 3)
        return std::nullopt;
    const char* order = s.dateOrder == FormatSettings::DateOrder::DMY   ? "DMY"
                        : s.dateOrder == FormatSettings::DateOrder::YMD ? "YMD"
                                                                        : "MDY";
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 3; ++i) {
        std::optional<int> field = order[i] == 'Y' ? digits(date[static_cast<size_t>(i)], 2, 4)
                                                   : digits(date[static_cast<size_t>(i)], 1, 2);
        if (!field || (order[i] == 'Y' && date[static_cast<size_t>(i)].size() == 3))
            return std::nullopt;
        if (order[i] == 'Y')
            y = date[static_cast<size_t>(i)].size() == 2 ? *field + (*field >= 69 ? 1900 : 2000) : *field;
        else
            (order[i] == 'D' ? d : m) = *field;
    }
    if (!exists(y, m, d))
        return std::nullopt;
    int64_t ms = 0;
    if (blank != std::string::npos) {
        if (!withTime)
            return std::nullopt;
        std::vector<std::string> time = split(text.substr(blank + 1), s.timeSeparator);
        if (time.size() != 2 && time.size() != 3)
            return std::nullopt;
        std::optional<int> h = digits(time[0], 1, 2);
        std::optional<int> n = digits(time[1], 1, 2);
        std::optional<int> sec = time.size() == 3 ? digits(time[2], 1, 2) : std::optional<int>(0);
        if (!h || !n || !sec || *h > 23 || *n > 59 || *sec > 59)
            return std::nullopt;
        ms = ((*h * 60LL + *n) * 60 + *sec) * 1000;
    }
    double day = static_cast<double>(dayNumber(y, m, d));
    double fraction = static_cast<double>(ms) / 86400000.0;
    return day >= 0 ? day + fraction : day - fraction;
}

// Position on the time line in days: the whole part is the day, the fraction whatever
// its sign the time of that day.
double timeline(double value)
{
    double whole = std::trunc(value);
    return whole + std::fabs(value - whole);
}

template <class Parse>
std::optional<double> attempt(Parse parse, const std::string& text, const std::string& errorTail)
{
    try {
        return parse(text);
    } catch (const Exception& e) {
        fuzz::check(e.text() == "'" + text + errorTail, "date error text", e.text());
        return std::nullopt;
    }
}

void checkText(const std::string& text)
{
    std::optional<double> date = attempt(StrToDate, text, "' is not a valid date");
    std::optional<double> oracle = expected(text, false);
    fuzz::check(date == oracle, "StrToDate accepts exactly existing dates",
                text + " -> " + (date ? show(*date) : "error") + ", expected " + (oracle ? show(*oracle) : "error"));

    std::optional<double> moment = attempt(StrToDateTime, text, "' is not a valid date and time");
    oracle = expected(text, true);
    fuzz::check(moment == oracle, "StrToDateTime accepts exactly existing dates and times",
                text + " -> " + (moment ? show(*moment) : "error") + ", expected "
                    + (oracle ? show(*oracle) : "error"));

    if (date) {
        std::string printed = DateToStr(*date);
        fuzz::check(StrToDate(printed) == *date, "DateToStr reads back", text + " -> " + printed);
        fuzz::check(CDate(*date).toString() == printed, "CDate prints as DateToStr", printed);
        fuzz::check(DateTimeToStr(*date) == printed, "midnight prints without a time", printed);
    }
    if (moment) {
        std::string printed = DateTimeToStr(*moment);
        fuzz::check(StrToDateTime(printed) == *moment, "DateTimeToStr reads back", text + " -> " + printed);
        fuzz::check(StrToDate(DateToStr(*moment)) == std::trunc(*moment), "DateToStr prints the day",
                    text + " -> " + DateToStr(*moment));
    }

    auto source = std::make_shared<CString>(text);
    try {
        ObjectPtr value = Object::convert(source, TYPE_DATE);
        fuzz::check(moment && value && value->getType() == TYPE_DATE
                        && static_cast<const CDate&>(*value).getValue() == *moment,
                    "convert to date agrees with StrToDateTime", text);
    } catch (const Exception& e) {
        fuzz::check(!moment, "convert to date fails only where StrToDateTime does", e.text());
    }
}

void checkNumber(double value)
{
    // Well inside years 1 to 9999 every number prints; near the ends the time may round
    // over into a day that has no four-digit year.
    bool inside = std::isfinite(value) && value >= -693592.0 && value < 2958465.0;
    std::optional<std::string> date;
    std::optional<std::string> moment;
    try {
        date = DateToStr(value);
        moment = DateTimeToStr(value);
    } catch (const Exception&) {
        fuzz::check(!inside, "DateToStr prints years 1 to 9999", show(value));
        return;
    }
    // 31 December of the year 0 prints when its time rounds up to the next midnight.
    fuzz::check(std::isfinite(value) && value > -693595.0 && value < 2958466.0, "DateToStr refuses other years",
                show(value));
    fuzz::check(moment->compare(0, date->size(), *date) == 0, "DateTimeToStr starts with the date",
                *date + " / " + *moment);

    double day = StrToDate(*date);
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    fuzz::check(day == whole || (day == whole + 1 && fraction > 1 - 1e-8), "DateToStr prints the day of the number",
                show(value) + " -> " + *date);

    double back = StrToDateTime(*moment);
    double shift = (timeline(back) - timeline(value)) * 86400.0;
    fuzz::check(shift > -1.0 - 1e-4 && shift < 1e-3, "DateTimeToStr keeps the second",
                show(value) + " -> " + *moment + " -> " + show(back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    fuzz::chooseSettings(data[0]);
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // The third bit takes the settings from locale patterns in the input: decimal point,
    // date format and time format on their own lines before the text.
    if (data[0] & 4) {
        std::vector<std::string> lines = split(text, '\n');
        if (lines.size() < 4)
            return 0;
        FormatSettings read = FormatSettings::fromLocaleFormats(lines[0], lines[1], lines[2]);
        auto punct = [](char c) { return c > 32 && c < 127 && !std::isalnum(static_cast<unsigned char>(c)); };
        fuzz::check(punct(read.decimalSeparator) && punct(read.dateSeparator) && punct(read.timeSeparator),
                    "locale patterns give printable separators", lines[0] + "|" + lines[1] + "|" + lines[2]);
        setFormatSettings(read);
        text = text.substr(lines[0].size() + lines[1].size() + lines[2].size() + 3);
    }

    if ((data[0] & 2) && text.size() >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, text.data(), sizeof raw);
        checkNumber(raw);
    } else {
        checkText(text);
    }
    return 0;
}
