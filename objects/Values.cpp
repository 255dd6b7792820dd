#include "objects/Values.h"

#include <cmath>

#include "runtime/Runtime.h"

ObjectPtr CInteger::clone() const
{
    return std::make_shared<CInteger>(value);
}

std::string CInteger::toString() const
{
    return IntToStr(value);
}

ObjectPtr CDouble::clone() const
{
    return std::make_shared<CDouble>(value);
}

std::string CDouble::toString() const
{
    return FloatToStr(value);
}

std::string CDouble::toString(int decimals) const
{
    return FormatFixed(value, decimals);
}

// n is kept in 64 bits (a double beyond that range is left as it is) so values
// outside the 32-bit range are still rounded instead of wrapping. The scale is a whole
// number held in a double, which gives the same results as a 32-bit one where that fits
// and stays defined for ten and more decimals.
double CDouble::roundTo(double value, int digits)
{
    const double scale = std::trunc(std::pow(10.0, digits));
    const double scaled = scale * value + 0.555;
    if (!(std::fabs(scaled) < 9.2e18))
        return value;
    const int64_t n = static_cast<int64_t>(scaled);
    return static_cast<double>(n) / scale;
}

ObjectPtr CBoolean::clone() const
{
    return std::make_shared<CBoolean>(value != 0);
}

std::string CBoolean::toString() const
{
    return value ? "true" : "false";
}

ObjectPtr CString::clone() const
{
    return std::make_shared<CString>(value);
}

ObjectPtr CDate::clone() const
{
    return std::make_shared<CDate>(value);
}

std::string CDate::toString() const
{
    return DateToStr(value);
}
