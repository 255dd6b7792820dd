// Source data and column types that do not fit the task: values that are no number
// where a number is expected, class columns of a real or text type, class values that
// are no 32-bit integer, no class at all, and a class coded like "no class". Each one
// is refused while the sample is read or before the search starts; none of them may
// turn into a missing value that the run then fills in, or into a result.

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class BrokenSourceTest : public IrisTaskTest {
protected:
    void source(const std::string& statement) { db().source({statement}); }
    // The clause of ALTER TABLE that gives a column another type.
    std::string retype(const std::string& column, const std::string& type) const
    {
        if (GetParam() == e2e::Backend::MariaDB)
            return "MODIFY " + column + " " + type;
        return "ALTER COLUMN " + column + " TYPE " + type;
    }
    void setClassType(int type)
    {
        db().repository({"UPDATE DtsColumn SET ColType = " + std::to_string(type) + " WHERE ColID = " +
                         task.columnId("class")});
    }
};

// SQLite keeps any text in a REAL column, and its driver's own conversion reads it as
// NULL.
TEST_P(BrokenSourceTest, TextInARealColumn)
{
    if (!sqlite())
        GTEST_SKIP() << "PostgreSQL keeps no text in a DOUBLE PRECISION column";
    source("UPDATE " + task.table + " SET sepal_width = 'abc' WHERE class = 1");
    expectRefused(task, Stage::Sample, platformError("Field sepal_width: 'abc' cannot be read as a number"));
}

// A text column described as real: each cell is read as a number of the regional form.
TEST_P(BrokenSourceTest, TextInATextColumnDescribedAsReal)
{
    const std::string text = task.table + "_text";
    db().source({"CREATE TABLE " + text +
                     " (sepal_length DOUBLE PRECISION, sepal_width VARCHAR(40), petal_length DOUBLE PRECISION, "
                     "petal_width DOUBLE PRECISION, class INTEGER)",
                 "INSERT INTO " + text + " SELECT sepal_length, CAST(sepal_width AS VARCHAR(40)), petal_length, "
                     "petal_width, class FROM " + task.table,
                 "UPDATE " + text + " SET sepal_width = 'abc' WHERE class = 2"});
    db().repository({"UPDATE Dataset SET DtsSql = 'SELECT * FROM " + text + "' WHERE DtsID = " +
                     std::to_string(task.dataset)});
    expectRefused(task, Stage::Sample,
                  platformError("Field sepal_width: 'abc' is not a valid floating point value"));
}

TEST_P(BrokenSourceTest, InfiniteValue)
{
    if (GetParam() == e2e::Backend::MariaDB)
        GTEST_SKIP() << "MariaDB keeps no infinity in a DOUBLE column";
    source("UPDATE " + task.table + " SET petal_length = " + (sqlite() ? "1e999" : "'Infinity'") +
           " WHERE class = 0");
    expectRefused(task, Stage::Sample, platformError("Field petal_length: 'inf' cannot be read as a finite number"));
}

TEST_P(BrokenSourceTest, NotANumberValue)
{
    if (sqlite())
        GTEST_SKIP() << "SQLite stores NaN as NULL";
    if (GetParam() == e2e::Backend::MariaDB)
        GTEST_SKIP() << "MariaDB keeps no NaN in a DOUBLE column";
    source("UPDATE " + task.table + " SET petal_length = 'NaN' WHERE class = 0");
    expectRefused(task, Stage::Sample, platformError("Field petal_length: 'nan' cannot be read as a finite number"));
}

TEST_P(BrokenSourceTest, ClassColumnOfARealType)
{
    setClassType(1);
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)", "Колонка классов должна иметь целочисленный тип: class"));
}

TEST_P(BrokenSourceTest, ClassColumnOfATextType)
{
    setClassType(10);
    expectRefused(task, Stage::Sample,
                  systemError("RepApi.getTaskColumnsData(CString)", "Колонка классов должна иметь целочисленный тип: class"));
}

TEST_P(BrokenSourceTest, FractionalClassValue)
{
    if (!sqlite())
        source("ALTER TABLE " + task.table + " " + retype("class", "DOUBLE PRECISION"));
    source("UPDATE " + task.table + " SET class = 1.5 WHERE class = 1");
    expectRefused(task, Stage::Sample,
                  platformError(sqlite() ? "Field class: '1.5' cannot be read as an integer"
                                         : "Field class: '1.5' cannot be read as a 32-bit integer"));
}

TEST_P(BrokenSourceTest, ClassValueBeyondThirtyTwoBits)
{
    if (!sqlite())
        source("ALTER TABLE " + task.table + " " + retype("class", "BIGINT"));
    source("UPDATE " + task.table + " SET class = 5000000000 WHERE class = 2");
    expectRefused(task, Stage::Sample,
                  platformError("Field class: '5000000000' cannot be read as a 32-bit integer"));
}

// Rows without a class belong to no class; with none left there is nothing to learn.
TEST_P(BrokenSourceTest, NoRowWithAClass)
{
    source("UPDATE " + task.table + " SET class = NULL");
    expectRefused(task, Stage::Model,
                  systemError("TModelClass.optimize(Log*, TBar*)", "В выборке нет ни одной строки с заданным классом"));
}

TEST_P(BrokenSourceTest, ClassCodedAsNoClass)
{
    source("UPDATE " + task.table + " SET class = -999999 WHERE class = 0");
    expectRefused(task, Stage::Model,
                  systemError("TModelClass.optimize(Log*, TBar*)",
                              "Код класса совпадает с признаком неопределенного значения: -999999"));
}

DODOZ_ON_EVERY_BACKEND(BrokenSourceTest);

}  // namespace
}  // namespace hostile
