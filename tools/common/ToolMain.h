#pragma once
// What the tools that read a task as dodoz does have in common at their entry: the
// regional settings read as dodoz reads them (the object's values are stored with
// their decimal separator), and every failure put on stderr as one line in UTF-8.

#include <functional>
#include <string>
#include <vector>

// Exit status of a failure: the task cannot be read or fitted, a file cannot be written.
inline constexpr int kToolFailed = 1;
// Exit status of a wrong command line.
inline constexpr int kToolUsage = 2;

// Sets the settings up, runs body and returns its status; an exception becomes
// "program: text" on stderr and kToolFailed. The texts of the tools' Exceptions are
// UTF-8; a SystemException is the model's or the repository's, in cp1251.
int runTool(const char* program, const std::function<int()>& body);

// The name of the regional settings runTool read the numbers' format from ("C",
// "ru_RU.UTF-8").
const std::string& regionalSettingsName();

// "program: message" and the hint to --help on stderr, then exit(kToolUsage).
[[noreturn]] void toolUsageError(const char* program, const std::string& message);

// The usage error of what getopt_long returned as ':' (an option without its value) or
// '?' (an unknown option).
[[noreturn]] void optionError(const char* program, int returned, char** argv);

// The one task key the arguments from optind on hold; a usage error otherwise.
int taskKeyArgument(const char* program, int argc, char** argv);
// The task keys of the arguments from first on; a usage error for one that is no key.
std::vector<int> taskKeyArguments(const char* program, int argc, char** argv, int first);

// A separator given on the command line: ',' (or "comma"), ';' ("semicolon") or a tab
// ("tab", "\t"); anything else is a usage error naming option.
char separatorOption(const char* program, const std::string& value, const char* option);
