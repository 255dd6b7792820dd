// Samples at the edges of what the method can take. Two cannot be analysed and are
// refused: a sample whose every row lies outside every window at each c of the grid,
// and a source with one row (its deviations are 0). The others are no error and must
// complete with a full, consistent result: a class with one row, 200 input columns,
// and Cyrillic column names longer than the journal's 12-character fields, which are
// cut so that the journal's tables stay aligned.

#include <cstdio>
#include <random>

#include "runtime/Runtime.h"
#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class HardSampleTest : public HostileTest {
protected:
    static std::string repeated(const std::string& value, int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += (i ? "," : "") + value;
        return text;
    }

    // The journal's table lines (" | a | b | ... | ") without their indentation: the
    // sample, then the per-class subsamples.
    static std::vector<std::string> tableLines(const std::string& journal)
    {
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < journal.size()) {
            size_t end = journal.find('\n', start);
            if (end == std::string::npos)
                end = journal.size();
            const std::string line = journal.substr(start, end - start);
            const size_t text = line.find_first_not_of(' ');
            if (text != std::string::npos && text > 0 && line.compare(text, 2, "| ") == 0)
                lines.push_back(line.substr(text - 1));
            start = end + 1;
        }
        return lines;
    }

    static void expectAligned(const std::string& journal, const std::string& header)
    {
        const std::vector<std::string> lines = tableLines(journal);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(Cp1251ToUtf8(lines[0]), Cp1251ToUtf8(header));
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].size(), header.size()) << "table line " << i << ": " << Cp1251ToUtf8(lines[i]);
    }
};

// Ten rows, each far out on an axis of its own: at c = 3 a window spans three
// deviations, and each row lies more than that from every other one in its own column.
TEST_P(HardSampleTest, EveryRowOutsideEveryWindow)
{
    std::string csv;
    for (int j = 0; j < 10; ++j)
        csv += "x" + std::to_string(j) + ",";
    csv += "class\n";
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j)
            csv += (i == j ? "1000," : "0,");
        csv += std::to_string(i % 2) + "\n";
    }
    Task task = registerTask(writeCsv(csv), "class", repeated("0", 10), false);
    expectRefused(task, Stage::Model,
                  systemError("TOptimizerC.optimize(Vector*, Log*, TBar*)",
                              "Не найдено значение c: при каждом c из сетки есть объект выборки вне окна всех классов"));
}

TEST_P(HardSampleTest, SourceWithOneRow)
{
    Task task = registerTask(writeCsv("sepal_length,sepal_width,petal_length,petal_width,class\n5.1,3.5,1.4,0.2,0\n"),
                             "class", "6.0,2.9,4.5,1.5", false);
    expectRefused(task, Stage::Model,
                  systemError("TOptimizerC.optimize(Vector*, Log*, TBar*)",
                              "Нулевое стандартное отклонение входной колонки: SEPAL_LENGTH"));
}

// The one row of class 3 (the only flower with a sepal of 7.9) is scored with its own
// class empty, so at least that row counts as an error.
TEST_P(HardSampleTest, ClassWithOneRow)
{
    Task task = irisTask();
    ASSERT_EQ(db().querySource("SELECT class FROM " + task.table + " WHERE sepal_length = 7.9").size(), 1u);
    db().source({"UPDATE " + task.table + " SET class = 3 WHERE sepal_length = 7.9"});
    Outcome outcome = expectCompleted(task, 4);
    EXPECT_EQ(outcome.codes, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_GE(outcome.errorPercent, 100.0 / kIrisRows);
    EXPECT_EQ(outcome.chosen, 1);
}

// Every column carries the class (10 times its code) with noise of its own, so a row is
// close to its class in all 200 columns at once.
TEST_P(HardSampleTest, TwoHundredInputColumns)
{
    const int columns = 200;
    std::mt19937 random(20240517);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::string csv;
    for (int j = 0; j < columns; ++j)
        csv += "c" + std::to_string(j) + ",";
    csv += "class\n";
    for (int i = 0; i < 60; ++i) {
        const int code = i % 3;
        for (int j = 0; j < columns; ++j) {
            char value[32];
            std::snprintf(value, sizeof value, "%.3f,", code * 10 + noise(random));
            csv += value;
        }
        csv += std::to_string(code) + "\n";
    }
    Task task = registerTask(writeCsv(csv), "class", repeated("10", columns), false);
    Outcome outcome = expectCompleted(task, 3);
    EXPECT_EQ(outcome.chosen, 1);

    std::string header = " | ";
    for (int j = 0; j < columns; ++j) {
        std::string name = "C" + std::to_string(j);
        header += name + std::string(12 - name.size(), ' ') + " | ";
    }
    header += "CLASS        | Y            | D            | ";
    expectAligned(outcome.journal, header);
}

// The same flowers under Cyrillic names of 17 to 25 letters give the same results as
// under the plain names; the journal shows each name's first 12 letters, upper-cased.
TEST_P(HardSampleTest, LongCyrillicColumnNames)
{
    Task plain = irisTask();
    const std::vector<std::string> expected = referenceRun(plain, 3).rows;

    // The file and dodoz-register's arguments are UTF-8; the literals here are cp1251.
    std::string csv =
        Cp1251ToUtf8("длина_чашелистика,ширина_чашелистика_цветка,petal_length,petal_width,класс_ириса_длинный\n");
    const std::string iris = e2e::readFile(e2e::irisCsv());
    csv += iris.substr(iris.find('\n') + 1);
    Task task = registerTask(writeCsv(csv), Cp1251ToUtf8("класс_ириса_длинный"), "6.0,2.9,4.5,1.5", false);
    Outcome outcome = expectCompleted(task, 3);
    EXPECT_EQ(outcome.rows, expected);
    expectAligned(outcome.journal, " | ДЛИНА_ЧАШЕЛИ | ШИРИНА_ЧАШЕЛ | PETAL_LENGTH | PETAL_WIDTH  | КЛАСС_ИРИСА_ | "
                               "Y            | D            | ");
}

DODOZ_ON_EVERY_BACKEND(HardSampleTest);

}  // namespace
}  // namespace hostile
