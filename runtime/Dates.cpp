// Date-time numbers: days since 30 December 1899, the fraction being the time of day,
// as text in the regional short date format and back, and read from the ISO form the
// databases give.

#include "runtime/Dates.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <ctime>
#include <optional>

#include "runtime/Exception.h"
#include "runtime/Locale.h"
#include "runtime/Numbers.h"

namespace {

using namespace std::chrono;

constexpr sys_days dateEpoch{year{1899} / December / 30};
constexpr int64_t msPerDay = 86'400'000;

struct DateTimeParts {
    year_month_day date;
    hh_mm_ss<milliseconds> time{milliseconds{0}};
};

// The whole part is the day counted from the epoch, toward zero; the fraction is the time
// of day whatever the sign, so -1.25 is 29 December 1899, 06:00. Years outside 1..9999
// have no four-digit form and are refused.
DateTimeParts decodeDateTime(double value)
{
    auto fail = [value]() { return Exception("'" + FloatToStr(value) + "' is not a valid date-time number"); };
    if (!std::isfinite(value))
        throw fail();
    double whole = std::trunc(value);
    if (whole < -693594.0 || whole > 2958466.0)
        throw fail();
    int64_t ms = std::llround(std::fabs(value - whole) * static_cast<double>(msPerDay));
    sys_time<milliseconds> moment = dateEpoch + days{static_cast<int64_t>(whole)} + milliseconds{ms};
    sys_days day = floor<days>(moment);
    DateTimeParts parts{year_month_day{day}, hh_mm_ss<milliseconds>{moment - day}};
    if (parts.date.year() < year{1} || parts.date.year() > year{9999})
        throw fail();
    return parts;
}

double encodeDateTime(const year_month_day& date, milliseconds timeOfDay)
{
    double day = static_cast<double>((sys_days{date} - dateEpoch).count());
    double fraction = static_cast<double>(timeOfDay.count()) / static_cast<double>(msPerDay);
    return day >= 0 ? day + fraction : day - fraction;
}

std::string twoDigits(unsigned value)
{
    return std::string{static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

std::string dateText(const year_month_day& date)
{
    const FormatSettings& s = formatSettings();
    std::string d = twoDigits(static_cast<unsigned>(date.day()));
    std::string m = twoDigits(static_cast<unsigned>(date.month()));
    int yearValue = static_cast<int>(date.year());
    std::string y = twoDigits(static_cast<unsigned>(yearValue / 100)) + twoDigits(static_cast<unsigned>(yearValue % 100));
    switch (s.dateOrder) {
    case FormatSettings::DateOrder::DMY: return d + s.dateSeparator + m + s.dateSeparator + y;
    case FormatSettings::DateOrder::YMD: return y + s.dateSeparator + m + s.dateSeparator + d;
    case FormatSettings::DateOrder::MDY: break;
    }
    return m + s.dateSeparator + d + s.dateSeparator + y;
}

class DateTimeReader {
public:
    explicit DateTimeReader(const std::string& text) : text(text) {}

    std::optional<double> read(bool withTime)
    {
        const FormatSettings& s = formatSettings();
        const char* order = s.dateOrder == FormatSettings::DateOrder::DMY   ? "DMY"
                            : s.dateOrder == FormatSettings::DateOrder::YMD ? "YMD"
                                                                            : "MDY";
        int d = 0, m = 0, y = 0;
        for (int i = 0; i < 3; ++i) {
            if (i > 0 && !expect(s.dateSeparator))
                return std::nullopt;
            std::optional<int> field;
            if (order[i] == 'Y') {
                size_t start = pos;
                field = number(1, 4);
                if (!field || (pos - start != 2 && pos - start != 4))
                    return std::nullopt;
                // Two-digit years as POSIX strptime reads them: 69-99 are 1969-1999,
                // 00-68 are 2000-2068.
                if (pos - start == 2)
                    *field += *field >= 69 ? 1900 : 2000;
                y = *field;
            } else {
                field = number(1, 2);
                if (!field)
                    return std::nullopt;
                (order[i] == 'D' ? d : m) = *field;
            }
        }
        year_month_day date{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
        if (!date.ok() || y < 1)
            return std::nullopt;

        milliseconds timeOfDay{0};
        if (pos < text.size()) {
            if (!withTime || !expect(' '))
                return std::nullopt;
            std::optional<int> h = number(1, 2);
            std::optional<int> n = h && expect(s.timeSeparator) ? number(1, 2) : std::nullopt;
            std::optional<int> sec = 0;
            if (n && pos < text.size())
                sec = expect(s.timeSeparator) ? number(1, 2) : std::nullopt;
            if (!h || !n || !sec || *h > 23 || *n > 59 || *sec > 59)
                return std::nullopt;
            timeOfDay = hours{*h} + minutes{*n} + seconds{*sec};
        }
        if (pos != text.size())
            return std::nullopt;
        return encodeDateTime(date, timeOfDay);
    }

private:
    bool expect(char c)
    {
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    std::optional<int> number(size_t minDigits, size_t maxDigits)
    {
        size_t start = pos;
        int value = 0;
        while (pos < text.size() && pos - start < maxDigits && text[pos] >= '0' && text[pos] <= '9')
            value = value * 10 + (text[pos++] - '0');
        if (pos - start < minDigits)
            return std::nullopt;
        return value;
    }

    const std::string& text;
    size_t pos = 0;
};

class IsoReader {
public:
    explicit IsoReader(const std::string& text) : text(text) {}

    bool digits(size_t count, int& value)
    {
        if (at + count > text.size())
            return false;
        value = 0;
        for (size_t i = 0; i < count; ++i) {
            char c = text[at + i];
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + (c - '0');
        }
        at += count;
        return true;
    }
    bool literal(char c)
    {
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    bool peekDigit() const { return at < text.size() && text[at] >= '0' && text[at] <= '9'; }
    bool done() const { return at == text.size(); }

    // hh:mm[:ss[.fff]] as milliseconds of the day.
    bool time(int64_t& milliseconds)
    {
        int hours = 0, minutes = 0, seconds = 0;
        if (!digits(2, hours) || !literal(':') || !digits(2, minutes))
            return false;
        double fraction = 0;
        if (literal(':')) {
            if (!digits(2, seconds))
                return false;
            if (literal('.')) {
                if (!peekDigit())
                    return false;
                double scale = 0.1;
                while (peekDigit()) {
                    fraction += (text[at++] - '0') * scale;
                    scale /= 10;
                }
            }
        }
        if (hours > 23 || minutes > 59 || seconds > 59)
            return false;
        int64_t whole = ((hours * 60LL + minutes) * 60 + seconds) * 1000;
        milliseconds = std::min<int64_t>(whole + std::llround(fraction * 1000), 86'399'999);
        return true;
    }

    // A UTC offset after a time (+hh, +hh:mm, +hhmm, Z); the value stays the wall time.
    bool offset()
    {
        if (literal('Z'))
            return true;
        if (!literal('+') && !literal('-'))
            return true;
        int hours = 0, minutes = 0;
        if (!digits(2, hours))
            return false;
        if (literal(':'))
            return digits(2, minutes);
        if (peekDigit())
            return digits(2, minutes);
        return true;
    }

private:
    const std::string& text;
    size_t at = 0;
};

}  // namespace

double StrToDate(const std::string& text)
{
    std::optional<double> value = DateTimeReader(text).read(false);
    if (!value)
        throw Exception("'" + text + "' is not a valid date");
    return *value;
}

double StrToDateTime(const std::string& text)
{
    std::optional<double> value = DateTimeReader(text).read(true);
    if (!value)
        throw Exception("'" + text + "' is not a valid date and time");
    return *value;
}

std::string DateToStr(double dateTime)
{
    return dateText(decodeDateTime(dateTime).date);
}

std::string DateTimeToStr(double dateTime)
{
    DateTimeParts parts = decodeDateTime(dateTime);
    std::string out = dateText(parts.date);
    if (parts.time.to_duration().count() == 0)
        return out;
    const char sep = formatSettings().timeSeparator;
    out += ' ';
    out += twoDigits(static_cast<unsigned>(parts.time.hours().count()));
    out += sep;
    out += twoDigits(static_cast<unsigned>(parts.time.minutes().count()));
    out += sep;
    out += twoDigits(static_cast<unsigned>(parts.time.seconds().count()));
    return out;
}

double Now()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    if (!localtime_r(&now.tv_sec, &local))
        throw Exception("Cannot read the local time: " + LocaleToCp1251(std::strerror(errno)));
    year_month_day date{year{local.tm_year + 1900}, month{static_cast<unsigned>(local.tm_mon + 1)},
                        day{static_cast<unsigned>(local.tm_mday)}};
    // A leap second is folded into the last second of the minute.
    milliseconds timeOfDay = hours{local.tm_hour} + minutes{local.tm_min} + seconds{std::min(local.tm_sec, 59)}
                             + milliseconds{now.tv_nsec / 1'000'000};
    return encodeDateTime(date, timeOfDay);
}

bool parseIsoDateTime(const std::string& text, double& dateTime)
{
    IsoReader reader(text);
    int64_t ms = 0;
    if (text.size() >= 3 && text[2] == ':') {
        if (!reader.time(ms) || !reader.offset() || !reader.done())
            return false;
        dateTime = encodeDateTime(year_month_day{dateEpoch}, milliseconds{ms});
        return true;
    }
    int y = 0, m = 0, d = 0;
    if (!reader.digits(4, y) || !reader.literal('-') || !reader.digits(2, m) || !reader.literal('-')
        || !reader.digits(2, d))
        return false;
    year_month_day date{year{y}, month{static_cast<unsigned>(m)}, day{static_cast<unsigned>(d)}};
    if (!date.ok() || y < 1)
        return false;
    if (reader.literal(' ') || reader.literal('T')) {
        if (!reader.time(ms) || !reader.offset())
            return false;
    }
    if (!reader.done())
        return false;
    dateTime = encodeDateTime(date, milliseconds{ms});
    return true;
}
