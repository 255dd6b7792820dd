#include "tests/e2e/RunFixture.h"

#include <clocale>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "runtime/Runtime.h"

namespace e2e {

namespace {

int integerCell(const Cell& cell, const std::string& what)
{
    if (!cell)
        throw std::runtime_error(what + " is NULL");
    return std::stoi(*cell);
}

// Replaces the text after label up to the next line feed; returns where to go on.
size_t maskAfter(std::string& text, const std::string& label, size_t from)
{
    size_t at = text.find(label, from);
    if (at == std::string::npos)
        return from;
    size_t begin = at + label.size();
    size_t end = text.find('\n', begin);
    if (end == std::string::npos)
        end = text.size();
    text.replace(begin, end - begin, journal::dateTimeMark);
    return begin + journal::dateTimeMark.size();
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        result.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return result;
        start = end + 1;
    }
}

// A sanitizer build's report in a program of the run fails the test, whatever else the
// test checks of that program's output.
void expectNoSanitizerReport(const ProcessResult& result, const std::string& program)
{
    if (std::optional<std::string> report = result.sanitizerReport())
        ADD_FAILURE() << program << ": " << *report << "\n" << result.err;
}

}  // namespace

std::string regionalName(Regional regional)
{
    return regional == Regional::C ? "C" : "Russian";
}

std::string localeName(Regional regional)
{
    return regional == Regional::C ? "C" : "ru_RU.UTF-8";
}

char decimalSeparator(Regional regional)
{
    return regional == Regional::C ? '.' : ',';
}

std::optional<std::string> regionalUnavailable(Regional regional)
{
    if (regional == Regional::C)
        return std::nullopt;
    // Asked of the C library without disturbing this process's own settings.
    locale_t probe = newlocale(LC_ALL_MASK, localeName(regional).c_str(), static_cast<locale_t>(0));
    if (!probe)
        return "the locale " + localeName(regional) + " is not installed (scripts/setup generates it)";
    freelocale(probe);
    return std::nullopt;
}

std::filesystem::path sourceDir()
{
    return DODOZ_SOURCE_DIR;
}

std::filesystem::path irisCsv()
{
    return sourceDir() / "data/iris.csv";
}

std::filesystem::path goldenDir()
{
    return sourceDir() / "tests/e2e/golden";
}

namespace iris {

std::string goldenName(Regional regional)
{
    return "iris-versicolor." + regionalName(regional) + ".log";
}

std::string goldenJournal(Regional regional)
{
    return readFile(goldenDir() / goldenName(regional));
}

}  // namespace iris

RunFixture::RunFixture(Backend backend, bool hostSchema) : db_(backend, hostSchema), runs_("dodoz-e2e-run") {}

std::vector<std::string> RunFixture::environment(Regional regional, const std::vector<std::string>& extra) const
{
    std::vector<std::string> env{"LC_ALL=" + localeName(regional), "DODOZ_NO_GUI=1"};
    for (const std::string& entry : db_.odbcEnvironment())
        env.push_back(entry);
    for (const std::string& entry : extra) {
        const std::string name = entry.substr(0, entry.find('=')) + "=";
        std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        env.push_back(entry);
    }
    return env;
}

std::filesystem::path RunFixture::newWorkDir()
{
    std::filesystem::path dir = runs_.path() / ("run-" + std::to_string(++runCount_));
    std::filesystem::create_directory(dir);
    return dir;
}

int RunFixture::registerTask(const Registration& registration)
{
    std::vector<std::string> args{DODOZ_REGISTER,
                                  "--csv",
                                  registration.csv.string(),
                                  "--class",
                                  registration.classColumn,
                                  "--table",
                                  registration.table,
                                  "--object",
                                  registration.object};
    if (registration.force)
        args.push_back("--force");
    ProcessResult r = Process::run(args, environment(registration.regional), newWorkDir(), defaultTimeout);
    expectNoSanitizerReport(r, "dodoz-register");
    if (r.exitCode != 0)
        throw std::runtime_error("dodoz-register failed: " + r.describe());
    try {
        return std::stoi(r.out);
    } catch (const std::exception&) {
        throw std::runtime_error("dodoz-register printed no task key: '" + r.out + "'");
    }
}

RunOutcome RunFixture::runDodoz(int key, Regional regional, const std::vector<std::string>& extraEnv)
{
    return runDodozWith({std::to_string(key)}, regional, extraEnv);
}

RunOutcome RunFixture::runDodozWith(const std::vector<std::string>& args, Regional regional,
                                    const std::vector<std::string>& extraEnv, std::filesystem::path workDir,
                                    std::chrono::milliseconds timeout)
{
    if (workDir.empty())
        workDir = newWorkDir();
    std::vector<std::string> argv{DODOZ_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    RunOutcome outcome;
    outcome.process = Process::run(argv, environment(regional, extraEnv), workDir, timeout);
    expectNoSanitizerReport(outcome.process, "dodoz");
    outcome.journal = journal(workDir);
    outcome.workDir = workDir;
    return outcome;
}

std::unique_ptr<Process> RunFixture::startDodoz(int key, Regional regional, const std::filesystem::path& workDir,
                                                const std::vector<std::string>& extraEnv,
                                                const LaunchStreams& streams)
{
    return std::make_unique<Process>(std::vector<std::string>{DODOZ_BINARY, std::to_string(key)},
                                     environment(regional, extraEnv), workDir, streams);
}

std::string RunFixture::journal(const std::filesystem::path& workDir)
{
    return readFile(workDir / "log/Dodoz.log");
}

std::vector<ResultRow> RunFixture::results(int key) const
{
    std::vector<ResultRow> rows;
    for (const Row& r : db_.queryRepository(
             "SELECT ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName "
             "FROM TskResult WHERE TskID = " + std::to_string(key) + " ORDER BY ResID"))
        rows.push_back({r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7]});
    return rows;
}

std::vector<LogRow> RunFixture::logs(int key) const
{
    std::vector<LogRow> rows;
    for (const Row& r : db_.queryRepository("SELECT LogID, LogType, LogMessage FROM TskLog WHERE TskID = " +
                                            std::to_string(key) + " ORDER BY LogID"))
        rows.push_back({r[0], r[1], r[2]});
    return rows;
}

int RunFixture::datasetOf(int key) const
{
    return integerCell(db_.repositoryValue("SELECT DtsID FROM Task WHERE TskID = " + std::to_string(key)),
                       "Task.DtsID of task " + std::to_string(key));
}

int RunFixture::sourceOf(int key) const
{
    return integerCell(
        db_.repositoryValue("SELECT SrcID FROM Dataset WHERE DtsID = " + std::to_string(datasetOf(key))),
        "Dataset.SrcID of task " + std::to_string(key));
}

namespace journal {

std::string masked(const std::string& journal)
{
    std::string text = journal;
    size_t at = maskAfter(text, startLabel, 0);
    maskAfter(text, endLabel, at);
    return text;
}

std::vector<std::string> dateTimes(const std::string& journal)
{
    std::vector<std::string> texts;
    for (const std::string& label : {startLabel, endLabel}) {
        size_t at = journal.find(label);
        if (at == std::string::npos)
            continue;
        size_t begin = at + label.size();
        texts.push_back(journal.substr(begin, journal.find('\n', begin) - begin));
    }
    return texts;
}

std::string head(const std::string& key)
{
    return startLabel + dateTimeMark + "\n" + keyHeading + key;
}

std::string failedInStage2(const std::string& key)
{
    return head(key) + openHeading;
}

std::string failedInStage3(const std::string& key)
{
    return head(key) + openHeading + "OK" + sampleHeading;
}

int lastStage(const std::string& journal)
{
    const std::string* headings[] = {&keyHeading, &openHeading, &sampleHeading, &modelHeading, &saveHeading};
    int last = 0;
    size_t lastAt = 0;
    for (int stage = 1; stage <= 5; ++stage) {
        size_t at = journal.rfind(*headings[stage - 1]);
        if (at != std::string::npos && (last == 0 || at > lastAt)) {
            last = stage;
            lastAt = at;
        }
    }
    return last;
}

}  // namespace journal

namespace console {

std::string progress(int texts)
{
    static const char* const all[] = {"Открытие...", "Загрузка данных...", "Оптимизация модели...",
                                      "Расчет выхода модели...", "Сохранение результатов..."};
    std::string text = Cp1251ToUtf8("Анализ данных") + "\n";
    for (int i = 0; i < texts && i < 5; ++i)
        text += Cp1251ToUtf8(all[i]) + "\n";
    return text;
}

std::string error(const std::string& place, const std::string& message)
{
    return Cp1251ToUtf8(" " + place + ":\n" + message) + "\n";
}

}  // namespace console

std::optional<std::string> goldenMismatch(const std::string& maskedJournal, const std::string& name)
{
    const std::filesystem::path path = goldenDir() / name;
    const char* write = std::getenv("DODOZ_E2E_WRITE_GOLDEN");
    if (write && std::string(write) == "1") {
        writeFile(path, maskedJournal);
        return std::nullopt;
    }
    if (!std::filesystem::exists(path))
        return "no golden file " + path.string() + " (DODOZ_E2E_WRITE_GOLDEN=1 writes it from this run)";
    const std::string golden = readFile(path);
    if (golden == maskedJournal)
        return std::nullopt;
    const std::vector<std::string> expected = lines(golden), actual = lines(maskedJournal);
    for (size_t i = 0; i < expected.size() || i < actual.size(); ++i) {
        const std::string e = i < expected.size() ? expected[i] : "<end of file>";
        const std::string a = i < actual.size() ? actual[i] : "<end of file>";
        if (e != a) {
            std::ostringstream text;
            text << name << " differs at line " << i + 1 << ":\n  golden: [" << Cp1251ToUtf8(e) << "]\n  run:    ["
                 << Cp1251ToUtf8(a) << "]";
            return text.str();
        }
    }
    return name + " differs (same lines, different bytes)";
}

void expectSameResults(const std::vector<ResultRow>& rows, const std::vector<ResultRow>& expected)
{
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].sysName, expected[i].sysName) << "row " << i;
        EXPECT_EQ(rows[i].order, expected[i].order) << "row " << i;
        EXPECT_EQ(rows[i].value1, expected[i].value1) << "row " << i;
        EXPECT_EQ(rows[i].value2, expected[i].value2) << "row " << i;
    }
}

}  // namespace e2e
