#pragma once
// Date-time numbers: days since 30 December 1899, the fraction being the time of day.

#include <string>

// Dates in the regional short date format (four-digit year), times as hh:mm:ss.
// The whole part of a date-time number is the day, truncated toward zero; the fraction,
// whatever the sign, is the time of day: -1.25 is 29.12.1899 06:00. Years 1 to 9999.
// Parsing takes day and month with one or two digits and the year with four, or with two
// as strptime reads them (69-99 are 1969-1999, 00-68 are 2000-2068); the date must exist.
// StrToDateTime takes an optional blank and hh:mm or hh:mm:ss after the date. Errors:
// Exception("'<text>' is not a valid date") and ("... is not a valid date and time").
double StrToDate(const std::string& text);       // date only
double StrToDateTime(const std::string& text);   // date with an optional time
// A date-time number outside years 1 to 9999 (or NaN) raises Exception.
std::string DateToStr(double dateTime);
// Date, a blank, hh:mm:ss; the time is left out when it is exactly midnight (to the
// millisecond), as the usual runtime does.
std::string DateTimeToStr(double dateTime);
double Now();                                    // local date and time, to the millisecond
// "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss[.fff]]" (a "T" may stand for the blank, a trailing
// UTC offset is ignored) or "hh:mm[:ss[.fff]]", as a date-time number; false when the
// text has another form or names no real date or time.
bool parseIsoDateTime(const std::string& text, double& dateTime);
