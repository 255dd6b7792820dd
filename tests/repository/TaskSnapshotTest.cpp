// The task as one state of the repository: the sample's columns and the object's values
// come from the same snapshot whatever the host saves meanwhile, and each value goes
// with its column by ColID, never by position.

#include <gtest/gtest.h>

#include <tuple>

#include "repository/ReadSnapshot.h"
#include "repository/RepApi.h"
#include "repository/TaskObject.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/repository/SeedTask.h"
#include "tests/support/TestDatabases.h"
#include "tests/repository/ValueAs.h"
#include "tests/support/RegionalSettings.h"

using testsupport::as;
using testsupport::Backend;
using testsupport::seedClients;
using testsupport::seedTask;
using testsupport::systemErrorOf;
using testsupport::TestDatabases;

namespace {

// Input parameter rows (ColID, ColType, ParValue2, ColSysName) in the order given, with
// the column names the repository's join gives them.
DataModelPtr inputRows(const std::vector<std::tuple<int, int, const char*, const char*>>& rows)
{
    auto model = std::make_shared<DataModel>();
    for (const char* name : {"PARSYSNAME", "COLID", "PARVALUE2", "COLSYSNAME", "COLTYPE"})
        model->getColumnNames()->add(std::make_shared<CString>(name));
    for (const auto& [id, type, value, name] : rows) {
        auto row = std::make_shared<Vector>();
        row->add(std::make_shared<CString>("in_col"));
        row->add(std::make_shared<CInteger>(id));
        row->add(std::make_shared<CString>(value));
        row->add(std::make_shared<CString>(name));
        row->add(std::make_shared<CInteger>(type));
        model->addRow(row);
    }
    return model;
}

std::vector<ObjectPtr> ids(std::initializer_list<int> values)
{
    std::vector<ObjectPtr> result;
    for (int value : values)
        result.push_back(std::make_shared<CInteger>(value));
    return result;
}

class ObjectValuesTest : public RegionalSettingsTest {};

TEST_F(ObjectValuesTest, ValuesFollowTheirColumnsWhateverOrderTheRowsComeIn)
{
    english();
    DataModelPtr rows = inputRows({{12, 1, "0.5", "Debt"}, {15, 10, "Анна", "Name"}, {11, 3, "35", "Age"}});
    VectorPtr object = TaskObject::values(*rows, ids({11, 12, 15}));
    ASSERT_EQ(object->size(), 3);
    EXPECT_EQ(as<CInteger>(object->elementAt(0)).getValue(), 35);
    EXPECT_EQ(as<CDouble>(object->elementAt(1)).getValue(), 0.5);
    EXPECT_EQ(as<CString>(object->elementAt(2)).getValue(), "Анна");
}

TEST_F(ObjectValuesTest, WithoutColumnsTheRowsGiveTheOrder)
{
    DataModelPtr rows = inputRows({{12, 2, "7", "Debt"}, {11, 2, "35", "Age"}});
    VectorPtr object = TaskObject::values(*rows, {});
    ASSERT_EQ(object->size(), 2);
    EXPECT_EQ(as<CInteger>(object->elementAt(0)).getValue(), 7);
    EXPECT_EQ(as<CInteger>(object->elementAt(1)).getValue(), 35);
}

TEST_F(ObjectValuesTest, EveryColumnNeedsExactlyOneRow)
{
    auto valuesOf = [](const DataModelPtr& rows, std::initializer_list<int> columns) {
        return systemErrorOf([&] { TaskObject::values(*rows, ids(columns)); });
    };
    EXPECT_EQ(valuesOf(inputRows({{11, 2, "1", "Age"}, {12, 2, "2", "Debt"}}), {11, 13}),
              "RepApi.getTaskInValues(): Не найдено значение объекта для входной колонки: ColID = 13");
    EXPECT_EQ(valuesOf(inputRows({{11, 2, "1", "Age"}, {11, 2, "2", "Age"}}), {11, 12}),
              "RepApi.getTaskInValues(): Значение объекта задано дважды: ColID = 11");
    EXPECT_EQ(valuesOf(inputRows({{11, 2, "1", "Age"}}), {11, 12}),
              "RepApi.getTaskInValues(): Число значений объекта не равно числу входных колонок выборки: 1<>2");
}

// The box keeps the conversion's own text; the console's detail line says which value of
// which column it was and what the regional settings wanted instead.
TEST_F(ObjectValuesTest, ValueThatDoesNotConvertNamesItsCause)
{
    auto failure = [](const DataModelPtr& rows) -> std::pair<std::string, std::string> {
        try {
            TaskObject::values(*rows, {});
        } catch (const SystemException& e) {
            return {"a SystemException", e.place};
        } catch (const ExplainedException& e) {
            return {e.text(), e.detail};
        }
        return {"no error", ""};
    };
    english();
    EXPECT_EQ(failure(inputRows({{11, 2, "7", "Age"}, {12, 1, "5,9", "petal_length"}})),
              std::make_pair(std::string("'5,9' is not a valid floating point value"),
                             std::string("Значение объекта '5,9' входной колонки petal_length (TskAlgParam.ParValue2) не "
                                         "преобразуется: региональные настройки ожидают десятичный разделитель '.'")));
    russian();
    EXPECT_EQ(failure(inputRows({{12, 1, "5.9", "petal_length"}})).second,
              "Значение объекта '5.9' входной колонки petal_length (TskAlgParam.ParValue2) не преобразуется: "
              "региональные настройки ожидают десятичный разделитель ','");
    EXPECT_EQ(failure(inputRows({{14, 5, "2003-05-17", "BirthDate"}})).second,
              "Значение объекта '2003-05-17' входной колонки BirthDate (TskAlgParam.ParValue2) не преобразуется: "
              "региональные настройки ожидают дату вида 31.12.2024");
    EXPECT_EQ(failure(inputRows({{11, 3, "3,5", "Age"}})),
              std::make_pair(std::string("'3,5' is not a valid integer value"),
                             std::string("Значение объекта '3,5' входной колонки Age (TskAlgParam.ParValue2) не "
                                         "преобразуется: ожидается целое число")));
}

class TaskSnapshotTest : public testsupport::RussianDatabaseTest {
protected:
    void SetUp() override
    {
        RussianDatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedTask(*db);
        seedClients(*db);
    }
};
DODOZ_ON_EVERY_BACKEND(TaskSnapshotTest);

// The host saves the task again between the sample and the object: the same columns in
// another order, the object changed. The run answers the task it read the sample of.
TEST_P(TaskSnapshotTest, TaskSavedAgainAfterTheSampleLeavesTheObjectOfTheSample)
{
    RepApi api(17);
    api.intInputsAsReal = true;
    DatasetPtr sample = api.getTaskColumnsData();
    ASSERT_EQ(sample->getDataModel()->getColumnName(0).getValue(), "AGE");
    db->repository({"DELETE FROM TskAlgParam WHERE TskID = 17",
                    "INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName, ParValue2) VALUES"
                    " (7, 17, 13, 'out_col', NULL), (8, 17, 12, 'in_col', '9,5'), (9, 17, 11, 'in_col', '99')"});
    VectorPtr object = api.getTaskInValues();
    ASSERT_EQ(object->size(), 2);
    EXPECT_EQ(as<CDouble>(object->elementAt(0)).getValue(), 35.0);
    EXPECT_EQ(as<CDouble>(object->elementAt(1)).getValue(), 0.5);
}

// The object asked for first: the sample that follows is of the same definition, and
// asking again gives the same object.
TEST_P(TaskSnapshotTest, ObjectAskedBeforeTheSampleFixesTheDefinitionForBoth)
{
    RepApi api(17);
    api.intInputsAsReal = true;
    VectorPtr first = api.getTaskInValues();
    db->repository({"UPDATE TskAlgParam SET ParValue2 = '99' WHERE ParID = 1",
                    "UPDATE Dataset SET DtsSql = 'SELECT * FROM Clients WHERE ClientID = 1' WHERE DtsID = 5"});
    DatasetPtr sample = api.getTaskColumnsData();
    EXPECT_EQ(sample->getDataModel()->getRowCount(), 3);
    VectorPtr again = api.getTaskInValues();
    ASSERT_EQ(again->size(), 2);
    EXPECT_EQ(as<CDouble>(first->elementAt(0)).getValue(), 35.0);
    EXPECT_EQ(as<CDouble>(again->elementAt(0)).getValue(), 35.0);
    EXPECT_EQ(as<CDouble>(again->elementAt(1)).getValue(), 0.5);
}

// Another session commits between two reads of one snapshot. On MariaDB the session
// runs READ COMMITTED while the driver reports REPEATABLE READ, so a snapshot that
// believed the driver saw the commit. SQLite keeps the writer out until the snapshot
// ends, which is as good; its writer is told not to wait for that.
class ReadSnapshotTest : public testsupport::DatabaseTest {
protected:
    void SetUp() override
    {
        DatabaseTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedTask(*db);
    }

    static std::string datasetSql(CDriver& driver)
    {
        CResultSetPtr rows = driver.executeQuery("SELECT DtsSql FROM Dataset WHERE DtsID = 5");
        rows->load();
        return Object::toText(rows->getValue(0, 0));
    }
};
DODOZ_ON_EVERY_BACKEND(ReadSnapshotTest);

TEST_P(ReadSnapshotTest, CommitOfAnotherSessionStaysUnseenUntilTheEnd)
{
    CDriver reader(db->connect(TestDatabases::repositoryDsn));
    std::unique_ptr<OdbcConnection> writer = db->connect(TestDatabases::repositoryDsn);
    const std::string change = "UPDATE Dataset SET DtsSql = 'SELECT * FROM Others' WHERE DtsID = 5";
    if (sqlite())
        writer->execute("PRAGMA busy_timeout = 0");
    {
        ReadSnapshot snapshot(*reader.getConnection(), "ReadSnapshotTest");
        EXPECT_EQ(datasetSql(reader), "SELECT * FROM Clients");
        if (sqlite())
            EXPECT_THROW(writer->execute(change), Exception);
        else
            writer->execute(change);
        EXPECT_EQ(datasetSql(reader), "SELECT * FROM Clients");
        snapshot.end();
    }
    if (sqlite())
        writer->execute(change);
    EXPECT_EQ(datasetSql(reader), "SELECT * FROM Others");
    if (GetParam() == Backend::MariaDB) {
        // The level was set for the snapshot's transaction only: the session runs as before.
        CResultSetPtr level = reader.executeQuery("SELECT @@tx_isolation");
        level->load();
        EXPECT_EQ(Object::toText(level->getValue(0, 0)), "READ-COMMITTED");
    }
}

// Every read of DtsColumn notes its transaction and isolation level in sequences, which
// no rollback undoes: ReadTx holds the transaction last seen, TxChanges counts the
// changes of it, WeakReads the reads below REPEATABLE READ.
class PostgresTaskSnapshotTest : public testsupport::SingleBackendTest<Backend::PostgreSQL> {
protected:
    void SetUp() override
    {
        setFormatSettings(FormatSettings::russian());
        SingleBackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedTask(*db);
        seedClients(*db);
        db->repository({
            "ALTER TABLE DtsColumn RENAME TO DtsColumnRows",
            "CREATE SEQUENCE ReadTx",
            "CREATE SEQUENCE TxChanges",
            "CREATE SEQUENCE WeakReads",
            "CREATE FUNCTION noteRead() RETURNS BOOLEAN LANGUAGE plpgsql VOLATILE AS '"
            "BEGIN"
            "  IF (SELECT last_value FROM ReadTx) <> txid_current() THEN"
            "    PERFORM setval(''ReadTx'', txid_current());"
            "    PERFORM nextval(''TxChanges'');"
            "  END IF;"
            "  IF current_setting(''transaction_isolation'') NOT IN (''repeatable read'', ''serializable'') THEN"
            "    PERFORM nextval(''WeakReads'');"
            "  END IF;"
            "  RETURN TRUE;"
            "END'",
            "CREATE VIEW DtsColumn AS SELECT * FROM DtsColumnRows WHERE noteRead()",
        });
    }

    // How often nextval was called on the sequence.
    long calls(const std::string& sequence) const
    {
        const auto row = db->query(TestDatabases::repositoryDsn,
                                   "SELECT CASE WHEN is_called THEN last_value ELSE 0 END FROM " + sequence)
                             .at(0);
        return std::stol(row.at(0));
    }

    SavedRegionalSettings saved;
};

TEST_F(PostgresTaskSnapshotTest, ColumnsAndObjectAreReadInOneRepeatableReadTransaction)
{
    RepApi api(17);
    api.intInputsAsReal = true;
    api.getTaskColumnsData();
    api.getTaskInValues();
    EXPECT_EQ(calls("TxChanges"), 1) << "the reads ran in more than one transaction";
    EXPECT_EQ(calls("WeakReads"), 0) << "a read ran below REPEATABLE READ";

    // The result transaction that follows runs at the connection's own level again.
    CResultSetPtr level = api.getDriver().executeQuery("SELECT current_setting('transaction_isolation')");
    level->load();
    EXPECT_EQ(Object::toText(level->getValue(0, 0)), "read committed");
}

}  // namespace
