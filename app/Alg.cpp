#include "app/Alg.h"

#include <utility>

#include "core/ProgBar.h"
#include "core/Utils.h"
#include "models/ClassShares.h"
#include "models/TModelClass.h"
#include "objects/DataPack.h"
#include "repository/RepApi.h"
#include "repository/TaskClearing.h"
#include "repository/WriteTransaction.h"
#include "runtime/Runtime.h"

Alg::Alg(TBar* bar, RunOptions options) : bar(bar), options(std::move(options)) {}

void Alg::run()
{
    std::unique_ptr<Log> journal;
    try {
        Log::makeDir("log", true);
        journal = std::make_unique<Log>("log/Dodoz.log", false);
    } catch (...) {
        // Whatever the setup raised: a working directory that was deleted under the run
        // fails in the platform's own reading of it, before the journal's checks.
        clearTaskWithoutJournal();
        throw;
    }
    Log& log = *journal;
    log.detail = 1;
    log.writeLine(" Время начала: " + DateTimeToStr(Now()) + "\n");

    log.writeLine(" 1. Считывание ключа задачи: ");
    if (ParamCount() < 1)
        throw SystemException("DifType.init()", " Данный файл запускается только из программы Мирелон");
    int key = StrToInt(ParamStr(1));
    log.write(IntToStr(key));

    std::unique_ptr<RepApi> repository = runStages(log, key);

    log.writeLine("\n\n Время завершения: " + DateTimeToStr(Now()) + "\n\n\n");
    repository->close();
    log.close();
}

// A run that cannot write its journal stops before it reads its key, yet the host would
// take the task's earlier rows for the answer to what it asked now. So the rows of the
// key the command line names are cleared all the same. The journal's error is the one to
// report: a key that is no number or a repository that cannot be reached leaves the task
// as it is, and the host sees no new answer either way.
void Alg::clearTaskWithoutJournal() const
{
    try {
        if (ParamCount() < 1)
            return;
        RepApi repository(StrToInt(ParamStr(1)), RepApi::Unbound{});
        TaskClearing::clear(repository);
        repository.close();
    } catch (const Exception&) {
    } catch (const std::exception&) {
    }
}

void Alg::setText(const char* text)
{
    if (bar)
        bar->SetText(text);
}

// A failure anywhere below, once the repository is open, leaves the task without result
// and log rows: the earlier ones are deleted and committed first, before the task is read
// or its source opened, and the new ones are committed together at the end. A repository
// that refuses the clearing keeps what TaskClearing could not remove.
std::unique_ptr<RepApi> Alg::runStages(Log& log, int key)
{
    std::unique_ptr<RepApi> repository = openRepository(log, key);
    const auto [sample, object] = loadSample(log, *repository);
    TModelClass model(sample, options.classifier);
    const auto [parameters, searchedCriterion] = optimize(log, model);

    setText("Расчет выхода модели...");
    testStop("output");
    const int chosen = model.getOutInt(*object, *parameters, -1, &log);
    const double errorProbability = searchedCriterion;

    saveResults(log, *repository, model, chosen, errorProbability);
    return repository;
}

std::unique_ptr<RepApi> Alg::openRepository(Log& log, int key)
{
    setText("Открытие...");
    log.writeLine(" 2. Открытие репозитория: ");
    testStop("open");
    auto repository = std::make_unique<RepApi>(key, RepApi::Unbound{});
    TaskClearing::clear(*repository, [this] { testStop("clear"); });
    repository->setTask(key);
    log.write("OK");
    return repository;
}

std::pair<DatasetPtr, VectorPtr> Alg::loadSample(Log& log, RepApi& repository)
{
    setText("Загрузка данных...");
    log.writeLine(" 3. Считывание выборки: \n");
    testStop("sample");
    repository.intInputsAsReal = true;
    repository.queryTimeout = options.sampleTimeLimit();
    DatasetPtr sample = repository.getTaskColumnsData();
    if (log.detail == 1)
        log.writeLine(sample->toString());
    else
        log.write(sample->toShortString());
    return {sample, repository.getTaskInValues()};
}

Fit Alg::optimize(Log& log, TModelClass& model)
{
    setText("Оптимизация модели...");
    log.writeLine(" 4. Оптимизация модели: \n");
    testStop("model");
    Fit fit = model.optimize(&log, bar);
    log.writeLine("");
    return fit;
}

// Another run of the same task may have committed its set since this run cleared the
// task in stage 2. Holding the task's lock, the rows are cleared again inside this
// transaction, so a commit replaces whatever set was there and the task never holds
// two; should this run fail before its commit, the deletion is undone with it.
void Alg::saveResults(Log& log, RepApi& repository, TModelClass& model, int chosen, double errorProbability)
{
    setText("Сохранение результатов...");
    log.writeLine("\n 5. Сохранение результатов: ");
    testStop("save");
    WriteTransaction transaction(*repository.getConnection());
    repository.lockTask();
    repository.deleteResults();
    testStop("locked");
    writeRows(repository, model, chosen, errorProbability);
    // Right before the commit, to leave the host the shortest time to save the task
    // unseen: the task's lock keeps out only a write of the Task row itself.
    repository.checkTaskUnchanged();
    repository.checkSavedRows();
    transaction.commit();
    testStop("committed");
    log.write("OK");
}

// Each class's share of the densities, the class, p_min and the closing log row.
void Alg::writeRows(RepApi& repository, TModelClass& model, int chosen, double errorProbability)
{
    int inserts = 0;
    // One TskResult row; ResValue2 stays out of the pack (NULL) when it is not given.
    auto saveResult = [&](const char* name, int order, ObjectPtr value1, ObjectPtr value2) {
        DataPack pack;
        pack.put(CString("ResSysName"), std::make_shared<CString>(name));
        pack.put(CString("ResOrder"), std::make_shared<CInteger>(order));
        pack.put(CString("ResValue1"), std::move(value1));
        if (value2)
            pack.put(CString("ResValue2"), std::move(value2));
        repository.saveResult(pack);
        testStop("insert-" + std::to_string(++inserts));
    };
    const std::vector<double> shares = classShares(*model.getClassDensities());
    const Vector& codes = *model.getClassCodes();
    for (int i = 0; i < static_cast<int>(shares.size()); ++i)
        saveResult("dens", i, std::make_shared<CInteger>(codes.getInt(i)),
                   std::make_shared<CDouble>(shares[static_cast<size_t>(i)]));
    saveResult("class", 0, std::make_shared<CInteger>(chosen), nullptr);
    saveResult("p_min", 0, std::make_shared<CDouble>(CDouble::roundTo(errorProbability * 100.0, 2)), nullptr);
    DataPack pack;
    pack.put(CString("LogType"), std::make_shared<CInteger>(1));
    pack.put(CString("LogMessage"), std::make_shared<CString>("Анализ завершен"));
    repository.saveLog(pack);
    testStop("insert-" + std::to_string(++inserts));
}
