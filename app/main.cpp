#include <clocale>
#include <exception>
#include <langinfo.h>

#include "app/Alg.h"
#include "app/Application.h"
#include "app/Runtime.h"
#include "app/Utils.h"

// The host learns the outcome from the repository alone, so the exit code is 0 on every
// path. Errors of the standard library (out of memory, a bad index) count as the
// platform's own errors and are shown with their text.
int main(int argc, char** argv)
{
    TApplication Application;
    auto showAndEnd = [&Application](const Exception& error) {
        Application.ShowException(error);
        Application.Terminate();
        return 0;
    };
    try {
        prepareStandardStreams();
        // The user's regional settings are read once into our own settings; the C library
        // then goes back to "C" numbers, because the ODBC drivers parse and print numbers
        // with it and would misread "5.1" under a decimal comma.
        std::setlocale(LC_ALL, "");
        setLocaleCharset(nl_langinfo(CODESET));
        setFormatSettings(FormatSettings::fromLocale());
        std::setlocale(LC_NUMERIC, "C");
        setCommandLine(argc, argv);

        Application.Initialize();
        TBar* Bar = Application.CreateForm();
        Bar->Show();
        try {
            Alg alg(Bar);
            alg.run();
        } catch (const SystemException& e) {
            return showAndEnd(Exception(" " + e.place + ":\n" + e.message));
        } catch (const Exception& e) {
            return showAndEnd(e);
        } catch (const std::exception& e) {
            return showAndEnd(Exception(LocaleToCp1251(e.what())));
        }
        Application.Terminate();
    } catch (const Exception& e) {
        return showAndEnd(e);
    } catch (const std::exception& e) {
        return showAndEnd(Exception(LocaleToCp1251(e.what())));
    } catch (...) {
        try {
            throw Exception("");
        } catch (const Exception& e) {
            Application.ShowException(e);
        }
        return 0;
    }
    return 0;
}
