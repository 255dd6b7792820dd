#pragma once
// Numbers as text under the regional settings, and back.

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Signed 32-bit decimal; blanks around the digits are not allowed. Anything else,
// overflow included, raises Exception("'abc' is not a valid integer value").
int32_t StrToInt(const std::string& text);
// Decimal number with the regional separator (and no other) and an optional exponent;
// no blanks, no "inf" or "nan"; a magnitude outside the double range either way raises
// Exception("'1e999' is not a valid floating point value").
double StrToFloat(const std::string& text);
// General number text: at most 15 significant digits, regional separator, fixed
// notation for 0 and for magnitudes from 0.00001 with at most 15 integer digits,
// otherwise scientific (1E20, 1.5E-7). The notation is decided on the value rounded to
// 15 digits. Negative zero prints as 0; NaN as NAN, infinities as INF and -INF.
std::string FloatToStr(double value);
// printf-style fixed text with the given number of decimals and a point.
std::string FormatFixed(double value, int decimals);
// printf "%i".
std::string IntToStr(int64_t value);

// The number the whole text spells in from_chars' own grammar (a leading minus, no plus,
// no blanks, a point); nothing when the text is empty, has anything left over or names a
// value outside the type. Whether "inf" or "nan" counts is the caller's question.
template <typename Number>
std::optional<Number> parseWhole(std::string_view text)
{
    Number value{};
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}
