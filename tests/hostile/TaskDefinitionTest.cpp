// Task definitions that contradict themselves: the class column among the inputs (the
// answer leaks into the question), one input twice with two values of the object, an
// input whose column is not described or belongs to another dataset, two class columns. Each is refused before the
// source is read, with a message naming the ColID and the rule, and nothing is written.

#include <algorithm>

#include "tests/hostile/HostileFixture.h"

namespace hostile {
namespace {

class TaskDefinitionTest : public IrisTaskTest {
protected:
    // One more parameter row of the task; columnId is SQL (a ColID or NULL).
    void addParameter(const std::string& name, const std::string& columnId, const std::string& value,
                      bool unchecked = false)
    {
        const std::string values = task.keyText() + ", " + columnId + ", '" + name + "', " + value;
        // A host's parameter rows need have no key of their own.
        const std::string insert =
            db().repositoryHasColumn("TskAlgParam", "ParID")
                ? "INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName, ParValue2) SELECT MAX(ParID) + 1, " +
                      values + " FROM TskAlgParam"
                : "INSERT INTO TskAlgParam (TskID, ColID, ParSysName, ParValue2) VALUES (" + values + ")";
        if (unchecked)
            db().repositoryUnchecked({insert});
        else
            db().repository({insert});
    }

    e2e::RunOutcome expectRuleBroken(const std::string& rule, const std::string& columnId)
    {
        e2e::RunOutcome run = expectRefused(
            task, Stage::Sample, systemError("RepApi.getTaskColumnsData(CString)", rule + ": ColID = " + columnId));
        EXPECT_EQ(run.journal.find("| SEPAL_LENGTH |"), std::string::npos) << "the sample was read";
        return run;
    }
};

TEST_P(TaskDefinitionTest, ClassColumnAlsoAnInput)
{
    addParameter("in_col", task.columnId("class"), "'1'");
    expectRuleBroken("Колонка классов не может быть входной колонкой", task.columnId("class"));
}

TEST_P(TaskDefinitionTest, InputTwiceWithTwoValues)
{
    addParameter("in_col", task.columnId("sepal_width"), "'9.9'");
    expectRuleBroken("Входная колонка задана в задаче дважды", task.columnId("sepal_width"));
}

TEST_P(TaskDefinitionTest, InputTwiceWithOneValue)
{
    addParameter("in_col", task.columnId("petal_width"), "'1.5'");
    expectRuleBroken("Входная колонка задана в задаче дважды", task.columnId("petal_width"));
}

TEST_P(TaskDefinitionTest, ClassColumnTwice)
{
    addParameter("out_col", task.columnId("class"), "NULL");
    expectRuleBroken("В задаче больше одной колонки классов (out_col)", task.columnId("class"));
}

TEST_P(TaskDefinitionTest, TwoClassColumns)
{
    addParameter("out_col", task.columnId("petal_width"), "NULL");
    const std::string later =
        std::to_string(std::max(std::stoi(task.columnId("petal_width")), std::stoi(task.columnId("class"))));
    expectRuleBroken("В задаче больше одной колонки классов (out_col)", later);
}

// The host's repository may lack the foreign key that keeps such rows out.
TEST_P(TaskDefinitionTest, InputOfAColumnNotDescribed)
{
    addParameter("in_col", "987654", "'1.0'", true);
    expectRuleBroken("Колонка параметра задачи не описана в DtsColumn", "987654");
}

TEST_P(TaskDefinitionTest, InputWithoutAColumn)
{
    addParameter("in_col", "NULL", "'1.0'");
    expectRuleBroken("Колонка параметра задачи не описана в DtsColumn", "null");
}

TEST_P(TaskDefinitionTest, ClassColumnNotDescribed)
{
    db().repositoryUnchecked({"UPDATE TskAlgParam SET ColID = 987655 WHERE TskID = " + task.keyText() +
                              " AND ParSysName = 'out_col'"});
    expectRuleBroken("Колонка параметра задачи не описана в DtsColumn", "987655");
}

// A column of another dataset has no place in this task's SELECT; only a repository
// whose DtsColumn names the dataset of a column can tell.
TEST_P(TaskDefinitionTest, InputOfAnotherDatasetsColumn)
{
    if (!db().repositoryHasColumn("DtsColumn", "DtsID"))
        GTEST_SKIP() << "the repository's DtsColumn does not say which dataset a column belongs to";
    db().repository({"INSERT INTO Dataset (DtsID, DtsName, SrcID, DtsSql) VALUES (987656, 'other', NULL, "
                     "'SELECT * FROM iris')",
                     "INSERT INTO DtsColumn (ColID, DtsID, ColSysName, ColType) VALUES (987656, 987656, "
                     "'sepal_width', 1)",
                     "UPDATE TskAlgParam SET ColID = 987656 WHERE TskID = " + task.keyText() +
                         " AND ColID = " + task.columnId("sepal_width")});
    expectRuleBroken("Колонка параметра задачи принадлежит другому набору данных", "987656");
}

DODOZ_ON_EVERY_BACKEND(TaskDefinitionTest);

}  // namespace
}  // namespace hostile
