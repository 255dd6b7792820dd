// Drives the progress bar the way the run does, one command per line on stdin, and
// answers "ok" on stdout after each, so that a test can look at the screen in between:
//   text N     SetText with stage text N (0 to 4)
//   range      SetMin 10, SetMax 3000, SetStep 10, as the search does
//   step K     K times StepIt
//   alert T    ShowException with the text T (UTF-8)
//   quit       Terminate and exit
// The first line out is "window" or "console": where the bar went.

#include <clocale>
#include <cstdio>
#include <iostream>
#include <string>

#include "frame/Application.h"
#include "runtime/Runtime.h"

namespace {

const char* const kStageTexts[] = {"Открытие...", "Загрузка данных...", "Оптимизация модели...",
                                   "Расчет выхода модели...", "Сохранение результатов..."};

void answer(const std::string& line)
{
    std::cout << line << std::endl;
}

}  // namespace

int main(int argc, char** argv)
{
    prepareStandardStreams();
    std::setlocale(LC_ALL, "");
    setCommandLine(argc, argv);
    TApplication application;
    application.Initialize(false);
    TBar* bar = application.CreateForm();
    bar->Show();
    answer(application.hasDisplay() ? "window" : "console");

    std::string line;
    while (std::getline(std::cin, line)) {
        std::string command = line.substr(0, line.find(' '));
        std::string argument = line.size() > command.size() ? line.substr(command.size() + 1) : std::string();
        if (command == "text") {
            bar->SetText(kStageTexts[std::stoi(argument)]);
        } else if (command == "range") {
            bar->SetMin(10);
            bar->SetMax(3000);
            bar->SetStep(10);
        } else if (command == "step") {
            for (int i = std::stoi(argument); i > 0; --i)
                bar->StepIt();
        } else if (command == "alert") {
            application.ShowException(Exception(Utf8ToCp1251(argument)));
        } else if (command == "quit") {
            application.Terminate();
            answer("ok");
            return 0;
        } else {
            answer("unknown command: " + line);
            return 1;
        }
        answer("ok");
    }
    return 0;
}
