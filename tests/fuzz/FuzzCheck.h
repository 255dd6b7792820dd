#pragma once
// What every target shares: the regional settings an input asks for, and a property
// check that stops the run with the failing values (libFuzzer then saves the input).

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "runtime/Runtime.h"

namespace fuzz {

// The low bit of the first byte picks the regional settings, so the corpus and the
// mutations reach both.
inline void chooseSettings(uint8_t selector)
{
    setFormatSettings((selector & 1) ? FormatSettings::russian() : FormatSettings::english());
}

inline std::string printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
            out += buffer;
        }
    }
    return out;
}

[[noreturn]] inline void fail(const char* property, const std::string& detail)
{
    std::fprintf(stderr, "property violated: %s\n%s\n", property, printable(detail).c_str());
    std::abort();
}

inline void check(bool holds, const char* property, const std::string& detail = std::string())
{
    if (!holds)
        fail(property, detail);
}

}  // namespace fuzz
