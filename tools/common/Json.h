#pragma once
// The pieces of JSON the tools print.

#include <string>

// A JSON string of UTF-8 text.
std::string jsonString(const std::string& utf8);
// A JSON number that reads back as the same double; null for what JSON cannot hold.
std::string jsonNumber(double value);
