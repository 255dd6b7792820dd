#include "app/Alg.h"

#include "app/ProgBar.h"
#include "app/Runtime.h"
#include "app/Utils.h"

Alg::Alg(TBar* bar) : bar(bar) {}

void Alg::run()
{
    Log::makeDir("log", true);
    Log log("log/Dodoz.log", false);
    log.detail = 1;
    log.writeLine(" Время начала: " + DateTimeToStr(Now()) + "\n");

    log.writeLine(" 1. Считывание ключа задачи: ");
    if (ParamCount() < 1)
        throw SystemException("DifType.init()", " Данный файл запускается только из программы Мирелон");
    int key = StrToInt(ParamStr(1));
    log.write(IntToStr(key));

    runStages(log, key);

    log.writeLine("\n\n Время завершения: " + DateTimeToStr(Now()) + "\n\n\n");
    log.close();
}

void Alg::runStages(Log&, int) {}
