#pragma once
// The five scalar values.

#include <string>

#include "objects/Object.h"

class CInteger : public Object {
public:
    explicit CInteger(int32_t value) : Object(TYPE_INTEGER), value(value) {}
    int32_t getValue() const { return value; }
    ObjectPtr clone() const override;
    std::string toString() const override;

private:
    int32_t value;
};

class CDouble : public Object {
public:
    explicit CDouble(double value) : Object(TYPE_DOUBLE), value(value) {}
    double getValue() const { return value; }
    ObjectPtr clone() const override;
    // General number text with the regional decimal separator.
    std::string toString() const override;
    // Fixed notation with the given number of decimals and a point.
    std::string toString(int decimals) const;

    // Rounds with a bias of 0.555 of the last unit (truncating afterwards).
    static double roundTo(double value, int digits);

private:
    double value;
};

class CBoolean : public Object {
public:
    explicit CBoolean(bool value) : Object(TYPE_BOOLEAN), value(value ? 1 : 0) {}
    bool getValue() const { return value != 0; }
    ObjectPtr clone() const override;
    std::string toString() const override;

private:
    unsigned char value;
};

class CString : public Object {
public:
    CString() : Object(TYPE_STRING) {}
    CString(std::string value) : Object(TYPE_STRING), value(std::move(value)) {}
    CString(const char* value) : Object(TYPE_STRING), value(value) {}
    const std::string& getValue() const { return value; }
    ObjectPtr clone() const override;
    std::string toString() const override { return value; }

private:
    std::string value;
};

// A date-time number: days since 30 December 1899, the fraction being the time of day.
class CDate : public Object {
public:
    explicit CDate(double value) : Object(TYPE_DATE), value(value) {}
    double getValue() const { return value; }
    ObjectPtr clone() const override;
    // The date part in the regional short date format.
    std::string toString() const override;

private:
    double value;
};
