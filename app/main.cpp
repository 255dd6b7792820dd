#include <clocale>
#include <cstdio>
#include <exception>
#include <iostream>
#include <langinfo.h>
#include <string>
#include <utility>

#include "app/Alg.h"
#include "app/Usage.h"
#include "core/Utils.h"
#include "frame/Application.h"
#include "runtime/Runtime.h"

namespace {

// A fixed message such as a failed connection keeps its wording in the box; the driver's
// SQLSTATE and text follow it on stderr, as one line.
void printDetail(const std::string& detail)
{
    std::string text = detail;
    try {
        text = Cp1251ToUtf8(detail);
    } catch (const Exception&) {
        // A driver text that was no cp1251 came through unconverted.
    }
    std::string line;
    for (char c : text) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!blank)
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    std::fputs((line + "\n").c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

// The host learns the outcome from the repository alone, so the exit code is 0 on every
// path. Errors of the standard library (out of memory, a bad index) count as the
// platform's own errors and are shown with their text.
int main(int argc, char** argv)
{
    TApplication Application;
    auto showAndEnd = [&Application](const ErrorDisplay& shown) {
        Application.ShowException(Exception(shown.text));
        if (!shown.detail.empty())
            printDetail(shown.detail);
        Application.Terminate();
        return 0;
    };
    // An error that has neither a place nor a detail: its own text alone.
    auto unchanged = [](const std::string& text) { return ErrorDisplay{text, {}}; };
    try {
        prepareStandardStreams();
        if (std::optional<int> answered = answerUsageQuestion(argc, argv, std::cout))
            return *answered;
        // The user's regional settings are read once into our own settings; the C library
        // then goes back to "C" numbers, because the ODBC drivers parse and print numbers
        // with it and would misread "5.1" under a decimal comma.
        std::setlocale(LC_ALL, "");
        setLocaleCharset(nl_langinfo(CODESET));
        setFormatSettings(FormatSettings::fromLocale());
        std::setlocale(LC_NUMERIC, "C");
        setCommandLine(argc, argv);

        RunOptions options = RunOptions::fromEnvironment();
        options.attachWorkers();
        Application.Initialize(options.console);
        TBar* Bar = Application.CreateForm();
        Bar->Show();
        try {
            Alg alg(Bar, std::move(options));
            alg.run();
        } catch (const Exception& e) {
            return showAndEnd(ErrorDisplay::of(e));
        } catch (const std::exception& e) {
            return showAndEnd(unchanged(LocaleToCp1251(e.what())));
        }
        Application.Terminate();
    } catch (const Exception& e) {
        return showAndEnd(unchanged(e.text()));
    } catch (const std::exception& e) {
        return showAndEnd(unchanged(LocaleToCp1251(e.what())));
    } catch (...) {
        // Something that is no error of ours or the library's: there is no text to show.
        Application.ShowException(Exception(""));
        return 0;
    }
    return 0;
}
