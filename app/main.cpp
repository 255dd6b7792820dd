#include <clocale>
#include <exception>

#include "app/Alg.h"
#include "app/Application.h"
#include "app/Runtime.h"
#include "app/Utils.h"

// The host learns the outcome from the repository alone, so the exit code is 0 on every
// path. Errors of the standard library (out of memory, a bad index) count as the
// platform's own errors and are shown with their text.
int main(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    setFormatSettings(FormatSettings::fromLocale());
    setCommandLine(argc, argv);

    TApplication Application;
    try {
        Application.Initialize();
        TBar* Bar = Application.CreateForm();
        Bar->Show();
        try {
            Alg alg(Bar);
            alg.run();
        } catch (const SystemException& e) {
            Application.ShowException(Exception(" " + e.place + ":\n" + e.message));
            Application.Terminate();
            return 0;
        } catch (const Exception& e) {
            Application.ShowException(e);
            Application.Terminate();
            return 0;
        } catch (const std::exception& e) {
            Application.ShowException(Exception(e.what()));
            Application.Terminate();
            return 0;
        }
        Application.Terminate();
    } catch (const Exception& e) {
        Application.ShowException(e);
        Application.Terminate();
        return 0;
    } catch (const std::exception& e) {
        Application.ShowException(Exception(e.what()));
        Application.Terminate();
        return 0;
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
