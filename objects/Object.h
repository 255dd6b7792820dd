#pragma once
// Root of every value the system moves around. Values are held through shared
// pointers: a container owns what it holds, and the few objects that stand in two
// places at once (class codes, fill values, mask markers) are simply shared.

#include <cstdint>
#include <memory>
#include <string>

class Object;
using ObjectPtr = std::shared_ptr<Object>;

constexpr int16_t TYPE_INTEGER = 1;
constexpr int16_t TYPE_DOUBLE = 3;
constexpr int16_t TYPE_BOOLEAN = 4;
constexpr int16_t TYPE_STRING = 5;
constexpr int16_t TYPE_DATE = 6;
constexpr int16_t TYPE_PACK = 9;
constexpr int16_t TYPE_VECTOR = 10;
constexpr int16_t TYPE_RESULTSET = 13;

class Object {
public:
    virtual ~Object() = default;

    int16_t getType() const { return type; }

    // A new independent copy; null for classes that cannot be copied.
    virtual ObjectPtr clone() const;
    virtual std::string toString() const;

    // Three-way comparison: null first, texts case-insensitive, only equal type codes.
    static int compare(const Object* a, const Object* b);
    static int compare(const ObjectPtr& a, const ObjectPtr& b) { return compare(a.get(), b.get()); }
    // Converts a text to the value class of a type code; a text converted to
    // TYPE_STRING comes back as the very same object.
    static ObjectPtr convert(const ObjectPtr& value, int type);
    // The text used in listings: "null", two decimals for doubles, "V" for containers.
    static std::string toText(const Object* value);
    static std::string toText(const ObjectPtr& value) { return toText(value.get()); }

protected:
    explicit Object(int16_t type) : type(type) {}
    Object(const Object&) = default;
    Object& operator=(const Object&) = default;

    int16_t type;
};
