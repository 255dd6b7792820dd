#include "tools/common/ToolMain.h"

#include <getopt.h>
#include <langinfo.h>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <new>

#include "core/Utils.h"
#include "runtime/Runtime.h"

namespace {

// Texts of the model and the repository are cp1251; a driver's may be anything.
std::string utf8(const std::string& text)
{
    try {
        return Cp1251ToUtf8(text);
    } catch (const Exception&) {
        return text;
    }
}

std::string& settingsName()
{
    static std::string name = "C";
    return name;
}

}  // namespace

const std::string& regionalSettingsName()
{
    return settingsName();
}

int runTool(const char* program, const std::function<int()>& body)
{
    try {
        // As dodoz: the user's settings read once, the C library back to "C" numbers for
        // the ODBC drivers.
        std::setlocale(LC_ALL, "");
        settingsName() = std::setlocale(LC_NUMERIC, nullptr);
        setLocaleCharset(nl_langinfo(CODESET));
        setFormatSettings(FormatSettings::fromLocale());
        std::setlocale(LC_NUMERIC, "C");
        return body();
    } catch (const SystemException& e) {
        std::cerr << program << ": " << utf8(e.message) << " (" << utf8(e.place) << ")"
                  << (e.detail.empty() ? "" : ": " + utf8(e.detail)) << "\n";
    } catch (const Exception& e) {
        std::cerr << program << ": " << e.text() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << program << ": out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << program << ": unexpected error: " << e.what() << "\n";
    }
    return kToolFailed;
}

void toolUsageError(const char* program, const std::string& message)
{
    std::cerr << program << ": " << message << "\nTry '" << program << " --help' for more information.\n";
    std::exit(kToolUsage);
}

void optionError(const char* program, int returned, char** argv)
{
    if (returned == ':')
        toolUsageError(program, std::string(argv[optind - 1]) + " needs a value");
    toolUsageError(program, optopt ? std::string("unknown option -") + static_cast<char>(optopt)
                                   : "unknown option " + std::string(argv[optind - 1]));
}

std::vector<int> taskKeyArguments(const char* program, int argc, char** argv, int first)
{
    std::vector<int> keys;
    for (int i = first; i < argc; ++i) {
        const std::optional<int> key = parseWhole<int>(argv[i]);
        if (!key)
            toolUsageError(program, "the task key '" + std::string(argv[i]) + "' is not a whole number");
        keys.push_back(*key);
    }
    return keys;
}

int taskKeyArgument(const char* program, int argc, char** argv)
{
    if (optind >= argc)
        toolUsageError(program, "the task key is missing");
    if (optind + 1 < argc)
        toolUsageError(program, "one task key only: '" + std::string(argv[optind + 1]) + "' is one too many");
    return taskKeyArguments(program, argc, argv, optind).front();
}

char separatorOption(const char* program, const std::string& value, const char* option)
{
    if (value == "," || value == "comma")
        return ',';
    if (value == ";" || value == "semicolon")
        return ';';
    if (value == "\t" || value == "tab" || value == "\\t")
        return '\t';
    toolUsageError(program, std::string(option) + " takes ',', ';' or 'tab', not '" + value + "'");
}
