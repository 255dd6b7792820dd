#pragma once
// The runtime-library services the program relies on: command line, conversions under
// the regional settings, cp1251 text operations and file operations. Texts are cp1251
// bytes in std::string; date-time numbers count days since 30 December 1899, the
// fraction being the time of day.

#include "runtime/CommandLine.h"
#include "runtime/Cp1251.h"
#include "runtime/Dates.h"
#include "runtime/Exception.h"
#include "runtime/Files.h"
#include "runtime/Locale.h"
#include "runtime/Numbers.h"
