// The repository gateway on every database: binding to a task, its messages for
// missing rows and unreachable databases, the parameter rows, the sample and the
// written results.

#include <gtest/gtest.h>

#include <cstdlib>

#include "repository/RepApi.h"
#include "runtime/Runtime.h"
#include "tests/repository/Errors.h"
#include "tests/repository/SeedTask.h"
#include "tests/support/TestDatabases.h"
#include "tests/repository/ValueAs.h"

using testsupport::as;
using testsupport::Backend;
using testsupport::errorOf;
using testsupport::seedClients;
using testsupport::seedTask;
using testsupport::systemErrorOf;
using testsupport::TestDatabases;

namespace {

std::vector<int> integers(const VectorPtr& values)
{
    std::vector<int> result;
    for (int i = 0; i < values->size(); ++i)
        result.push_back(values->getInt(i));
    return result;
}

DataPackPtr pack(std::initializer_list<std::pair<const char*, ObjectPtr>> values)
{
    auto result = std::make_shared<DataPack>();
    for (const auto& [name, value] : values)
        result->put(name, value);
    return result;
}

}  // namespace

class RepApiTest : public testsupport::RussianDatabaseTest {
protected:
    std::vector<std::vector<std::string>> repositoryRows(const std::string& sql) const
    {
        return db->query(TestDatabases::repositoryDsn, sql);
    }
};

class RepApiBindingTest : public RepApiTest {};
DODOZ_ON_EVERY_BACKEND(RepApiBindingTest);

TEST_P(RepApiBindingTest, BindsToTheTaskAndOpensBothDatabases)
{
    seedTask(*db);
    RepApi api(17);
    EXPECT_EQ(api.getTaskId(), 17);
    EXPECT_EQ(api.getDatasetId(), 5);
    EXPECT_EQ(api.getSourceId(), 1);
    EXPECT_TRUE(api.getConnection()->isOpen());
    EXPECT_TRUE(api.getSourceConnection()->isOpen());
    EXPECT_FALSE(api.intInputsAsReal);
    EXPECT_EQ(api.reader().task()->getString("TskName").getValue(), "Классификация");
    EXPECT_EQ(api.reader().dataset(5)->getString("dtssql").getValue(), "SELECT * FROM Clients");
    EXPECT_EQ(api.reader().source(1)->getString("SrcSysName").getValue(), "DODOZ_SOURCE");

    api.close();
    EXPECT_FALSE(api.getConnection()->isOpen());
    EXPECT_FALSE(api.getSourceConnection()->isOpen());
}

TEST_P(RepApiBindingTest, MissingTaskIsReportedWithItsKey)
{
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }),
              "RepApi.getTask():  Результат запроса из Task с ключом TskID = 17 пуст.");
}

TEST_P(RepApiBindingTest, TaskWithoutDatasetLooksForDatasetZero)
{
    db->repository({"INSERT INTO Task (TskID, DtsID) VALUES (17, NULL)"});
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }),
              "RepApi.getDataset():  Результат запроса из Dataset с ключом DtsID = 0 пуст.");
}

TEST_P(RepApiBindingTest, DatasetWithoutSourceLooksForSourceZero)
{
    db->repository({"INSERT INTO Dataset (DtsID, SrcID, DtsSql) VALUES (5, NULL, 'SELECT * FROM Clients')",
                    "INSERT INTO Task (TskID, DtsID) VALUES (-3, 5)"});
    EXPECT_EQ(systemErrorOf([] { RepApi api(-3); }),
              "RepApi.getSource(int):  Результат запроса из DtsSource с ключом SrcID = 0 пуст.");
}

TEST_P(RepApiBindingTest, UnknownSourceDataSourceIsAConnectionError)
{
    seedTask(*db);
    db->repository({"UPDATE DtsSource SET SrcSysName = 'NO_SUCH_DSN' WHERE SrcID = 1"});
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }),
              "RepApi.getSourceConnect(int): Ошибка соединения с источником NO_SUCH_DSN");
}

TEST_P(RepApiBindingTest, UnknownRepositoryDataSourceIsAConnectionError)
{
    // unixODBC's driver manager remembers for a while which driver a DSN named, so the
    // missing DSN is looked for in a process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            db->removeDsn(TestDatabases::repositoryDsn);
            std::string error = systemErrorOf([] { RepApi api(17); });
            db.reset();
            std::exit(error == "RepApi(int): Ошибка соединения с репозиторием системы MIRELON" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_P(RepApiBindingTest, UnreachableRepositoryIsAConnectionError)
{
    db->changeDsn(TestDatabases::repositoryDsn, db->unreachable());
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }), "RepApi(int): Ошибка соединения с репозиторием системы MIRELON");
}

TEST_P(RepApiBindingTest, UnreachableSourceIsAConnectionError)
{
    seedTask(*db);
    db->changeDsn(TestDatabases::sourceDsn, db->unreachable());
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }),
              "RepApi.getSourceConnect(int): Ошибка соединения с источником DODOZ_SOURCE");
}

using PostgresRepApiTest = testsupport::SingleBackendTest<Backend::PostgreSQL>;

TEST_F(PostgresRepApiTest, SourceUserAndPasswordAreUsedWhenGiven)
{
    seedTask(*db);
    db->repository({std::string("UPDATE DtsSource SET SrcUser = '") + std::getenv("DODOZ_PG_USER") + "', SrcPassword = 'x'"});
    EXPECT_NO_THROW(RepApi api(17));
    db->repository({"UPDATE DtsSource SET SrcUser = 'nobody'"});
    EXPECT_EQ(systemErrorOf([] { RepApi api(17); }),
              "RepApi.getSourceConnect(int): Ошибка соединения с источником DODOZ_SOURCE");
}

TEST(RepApiObjectTypeTest, MapsLogicalTypesOntoValueTypes)
{
    EXPECT_EQ(RepApi::getObjectType(1), TYPE_DOUBLE);
    for (int coded : {2, 3, 4})
        EXPECT_EQ(RepApi::getObjectType(coded), TYPE_INTEGER);
    for (int date : {5, 6, 7})
        EXPECT_EQ(RepApi::getObjectType(date), TYPE_DATE);
    EXPECT_EQ(RepApi::getObjectType(10), TYPE_STRING);
    EXPECT_EQ(RepApi::getObjectType(std::make_shared<CInteger>(10)), TYPE_STRING);
}

TEST(RepApiObjectTypeTest, AnyOtherTypeIsUnknown)
{
    for (int unknown : {0, 8, 9, 11, -1})
        EXPECT_EQ(systemErrorOf([&] { RepApi::getObjectType(unknown); }),
                  "RepApi.getObjectType(int): Неизвестный логический тип колонки: " + IntToStr(unknown));
    EXPECT_EQ(systemErrorOf([] { RepApi::getObjectType(ObjectPtr()); }),
              "RepApi.getObjectType(int): Неизвестный логический тип колонки: null");
    EXPECT_EQ(systemErrorOf([] { RepApi::getObjectType(std::make_shared<CString>("1")); }),
              "RepApi.getObjectType(int): Неизвестный логический тип колонки: 1");
}

class RepApiParameterTest : public RepApiTest {
protected:
    void SetUp() override
    {
        RepApiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedTask(*db);
    }
};
DODOZ_ON_EVERY_BACKEND(RepApiParameterTest);

TEST_P(RepApiParameterTest, ParameterRowsCarryTheColumnsOfBothTables)
{
    RepApi api(17);
    CResultSetPtr in = api.reader().columns("in_col");
    ASSERT_EQ(in->getRowCount(), 2);
    EXPECT_EQ(as<CString>(in->getValue(0, "ColSysName")).getValue(), "Age");
    EXPECT_EQ(as<CString>(in->getValue(1, "ColSysName")).getValue(), "Debt");
    EXPECT_EQ(as<CString>(in->getValue(0, "ParSysName")).getValue(), "in_col");
    EXPECT_EQ(as<CInteger>(in->getValue(0, "ColType")).getValue(), 3);
    CResultSetPtr out = api.reader().columns("out_col");
    ASSERT_EQ(out->getRowCount(), 1);
    EXPECT_EQ(out->getColumnCount(), in->getColumnCount());
    EXPECT_EQ(as<CString>(out->getValue(0, "ColSysName")).getValue(), "Risk");
}

TEST_P(RepApiParameterTest, NoRowsOfTheNameIsAnErrorEvenWhenOthersExist)
{
    RepApi api(17);
    EXPECT_EQ(systemErrorOf([&] { api.reader().columns("weights"); }),
              "RepApi.getTaskColumns(CString):  Результат запроса из TskAlgParam, DtsColumn с ключами "
              "ParSysName = weights, TskID = 17 пуст.");
}

TEST_P(RepApiParameterTest, NameWithAQuoteIsRejectedByTheDatabase)
{
    RepApi api(17);
    EXPECT_EQ(systemErrorOf([&] { api.reader().columns("it's"); }).rfind("not a SystemException: ", 0), 0u);
}

// The definition keeps the types as stored; each use reads them as asked then.
TEST_P(RepApiParameterTest, IntegerInputsTurnRealOnlyWhenAsked)
{
    db->repository({"UPDATE DtsColumn SET ColType = 3 WHERE ColID = 13"});
    RepApi api(17);
    const TaskDefinition definition = api.reader().readDefinition();
    auto type = [](const DataModelPtr& rows, int row) { return as<CInteger>(rows->getValue(row, "ColType")).getValue(); };
    EXPECT_EQ(type(definition.inputRows(false), 0), 3);
    DataModelPtr columns = definition.sampleColumns(true);
    ASSERT_EQ(columns->getRowCount(), 3);
    EXPECT_EQ(type(columns, 0), 1);
    EXPECT_EQ(type(columns, 1), 1);
    EXPECT_EQ(type(columns, 2), 3) << "the class column stays coded";
    EXPECT_EQ(type(definition.inputRows(false), 0), 3);
}

TEST_P(RepApiParameterTest, InputValuesTakeTheirColumnsValueClass)
{
    db->repository({"INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName, ParValue2) VALUES"
                    " (4, 17, 14, 'in_col', '17.05.2003'), (5, 17, 15, 'in_col', 'Анна')"});
    RepApi api(17);
    VectorPtr values = api.getTaskInValues();
    ASSERT_EQ(values->size(), 4);
    EXPECT_EQ(as<CInteger>(values->elementAt(0)).getValue(), 35);
    EXPECT_EQ(as<CDouble>(values->elementAt(1)).getValue(), 0.5);
    EXPECT_EQ(as<CDate>(values->elementAt(2)).getValue(), StrToDate("17.05.2003"));
    EXPECT_EQ(as<CString>(values->elementAt(3)).getValue(), "Анна");

    api.intInputsAsReal = true;
    EXPECT_EQ(as<CDouble>(api.getTaskInValues()->elementAt(0)).getValue(), 35.0);
}

TEST_P(RepApiParameterTest, MissingInputValueIsAnError)
{
    db->repository({"UPDATE TskAlgParam SET ParValue2 = NULL WHERE ParID = 2"});
    RepApi api(17);
    EXPECT_EQ(systemErrorOf([&] { api.getTaskInValues(); }),
              "RepApi.getTaskInValues(): Не задано значение входной колонки: Debt");
}

TEST_P(RepApiParameterTest, InputValueThatDoesNotParseRaisesTheConversionError)
{
    db->repository({"UPDATE TskAlgParam SET ParValue2 = 'много' WHERE ParID = 1"});
    RepApi api(17);
    EXPECT_EQ(systemErrorOf([&] { api.getTaskInValues(); }).rfind("not a SystemException: ", 0), 0u);
}

TEST_P(RepApiParameterTest, UnknownLogicalTypeOfAnInputIsAnError)
{
    db->repository({"UPDATE DtsColumn SET ColType = 9 WHERE ColID = 12"});
    RepApi api(17);
    EXPECT_EQ(systemErrorOf([&] { api.getTaskInValues(); }),
              "RepApi.getObjectType(int): Неизвестный логический тип колонки: 9");
}

class RepApiSampleTest : public RepApiParameterTest {
protected:
    void SetUp() override
    {
        RepApiParameterTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedClients(*db);
    }

    DatasetPtr load(bool intInputsAsReal = true)
    {
        RepApi api(17);
        api.intInputsAsReal = intInputsAsReal;
        return api.getTaskColumnsData();
    }
};
DODOZ_ON_EVERY_BACKEND(RepApiSampleTest);

TEST_P(RepApiSampleTest, SampleHoldsTheInputsThenTheClassReadAsTheRunReadsThem)
{
    DatasetPtr sample = load();
    const DataModel& table = *sample->getDataModel();
    ASSERT_EQ(table.getColumnCount(), 3);
    EXPECT_EQ(table.getColumnName(0).getValue(), "AGE");
    EXPECT_EQ(table.getColumnName(2).getValue(), "RISK");
    ASSERT_EQ(table.getRowCount(), 3);
    EXPECT_EQ(table.getType(), TYPE_RESULTSET);
    EXPECT_EQ(integers(sample->getColumnTypes()), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(integers(sample->getInColumns()), (std::vector<int>{0, 1}));
    EXPECT_EQ(integers(sample->getOutValues()), (std::vector<int>{1, 2, 1}));
    ASSERT_EQ(sample->getMask()->size(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(sample->getMask()->elementAt(row), nullptr);

    EXPECT_EQ(as<CDouble>(table.getValue(0, 0)).getValue(), 30.0) << "integer inputs are read as reals";
    EXPECT_EQ(as<CDouble>(table.getValue(0, 1)).getValue(), 1.5);
    EXPECT_EQ(as<CInteger>(table.getValue(1, 2)).getValue(), 2) << "the class stays coded";
    EXPECT_EQ(table.getValue(2, 0), nullptr);
    EXPECT_EQ(table.getValue(1, 1), nullptr);
}

TEST_P(RepApiSampleTest, IntegerInputsStayCodedWhenNotAskedOtherwise)
{
    DatasetPtr sample = load(false);
    EXPECT_EQ(integers(sample->getColumnTypes()), (std::vector<int>{3, 1, 2}));
    EXPECT_EQ(as<CInteger>(sample->getDataModel()->getValue(1, 0)).getValue(), 45);
}

TEST_P(RepApiSampleTest, EmptySampleNamesTheGeneratedStatement)
{
    db->repository({"UPDATE Dataset SET DtsSql = 'SELECT * FROM Clients WHERE ClientID < 0'"});
    EXPECT_EQ(systemErrorOf([&] { load(); }),
              "RepApi.getTaskColumnsData(CString):  Результат запроса данных из таблицы источника пуст. \n"
              "Sql = SELECT Age, Debt, Risk FROM Clients WHERE ClientID < 0");
}

TEST_P(RepApiSampleTest, SqlCutInsideAColumnNameIsRejectedByTheSource)
{
    db->repository({"UPDATE Dataset SET DtsSql = 'SELECT DATEFROM, X FROM Clients'"});
    EXPECT_EQ(systemErrorOf([&] { load(); }).rfind("not a SystemException: ", 0), 0u);
}

// Only the last class column would give the classes, and the other would enter the
// sample as an input.
TEST_P(RepApiSampleTest, TwoClassColumnsAreRefused)
{
    db->repository({"INSERT INTO TskAlgParam (ParID, TskID, ColID, ParSysName) VALUES (4, 17, 16, 'out_col')"});
    EXPECT_EQ(systemErrorOf([&] { load(); }),
              "RepApi.getTaskColumnsData(CString): В задаче больше одной колонки классов (out_col): ColID = 16");
}

TEST_P(RepApiSampleTest, RowsWithoutAClassBelongToNoClass)
{
    db->source({"INSERT INTO Clients (ClientID, Age, Debt, Risk) VALUES (4, 50, 2.0, NULL)"});
    DatasetPtr sample = load();
    ASSERT_EQ(sample->getDataModel()->getRowCount(), 4);
    EXPECT_FALSE(sample->isExcluded(0));
    EXPECT_TRUE(sample->isExcluded(3));
    EXPECT_EQ(integers(sample->getClasses()), (std::vector<int>{1, 2}));
}

TEST_P(RepApiSampleTest, ClassColumnMustBeCoded)
{
    db->repository({"UPDATE TskAlgParam SET ColID = 12 WHERE ParID = 3", "UPDATE TskAlgParam SET ColID = 13 WHERE ParID = 2"});
    EXPECT_EQ(systemErrorOf([&] { load(); }),
              "RepApi.getTaskColumnsData(CString): Колонка классов должна иметь целочисленный тип: Debt");
}

TEST_P(RepApiSampleTest, TextColumnCannotBeAnInput)
{
    db->repository({"UPDATE TskAlgParam SET ColID = 15 WHERE ParID = 2"});
    EXPECT_EQ(systemErrorOf([&] { load(); }),
              "RepApi.getTaskColumnsData(CString): Входная колонка должна иметь числовой тип: Name");
}

TEST_P(RepApiSampleTest, DateInputsEnterAsDates)
{
    db->repository({"UPDATE TskAlgParam SET ColID = 14 WHERE ParID = 2"});
    DatasetPtr sample = load();
    EXPECT_EQ(integers(sample->getColumnTypes()), (std::vector<int>{1, 5, 2}));
    EXPECT_EQ(as<CDate>(sample->getDataModel()->getValue(0, 1)).getValue(), StrToDate("02.01.1973"));
}

TEST_P(RepApiSampleTest, UnknownLogicalTypeStopsTheLoad)
{
    db->repository({"UPDATE TskAlgParam SET ColID = 17 WHERE ParID = 2"});
    EXPECT_EQ(systemErrorOf([&] { load(); }), "RepApi.getObjectType(int): Неизвестный логический тип колонки: 8");
}

TEST_P(RepApiSampleTest, ValueThatIsNotOfItsColumnsTypeRaisesTheReadError)
{
    db->repository({"UPDATE DtsColumn SET ColType = 3 WHERE ColID = 15", "UPDATE TskAlgParam SET ColID = 15 WHERE ParID = 2"});
    EXPECT_EQ(AnsiUpperCase(systemErrorOf([&] { load(false); })),
              "NOT A SYSTEMEXCEPTION: FIELD NAME: 'АННА' CANNOT BE READ AS AN INTEGER");
}

TEST_P(RepApiSampleTest, TaskWithoutClassColumnIsAnError)
{
    db->repository({"DELETE FROM TskAlgParam WHERE ParID = 3"});
    EXPECT_EQ(systemErrorOf([&] { load(); }),
              "RepApi.getTaskColumns(CString):  Результат запроса из TskAlgParam, DtsColumn с ключами "
              "ParSysName = out_col, TskID = 17 пуст.");
}

class RepApiStatementTextTest : public ::testing::Test {
    SavedRegionalSettings saved;
};

TEST_F(RepApiStatementTextTest, WorkedExampleUnderRussianAndEnglishSettings)
{
    DataPackPtr example = pack({{"ResSysName", std::make_shared<CString>("dens")},
                                {"ResOrder", std::make_shared<CInteger>(3)},
                                {"ResValue1", std::make_shared<CInteger>(2)},
                                {"ResValue2", std::make_shared<CDouble>(0.35)}});
    setFormatSettings(FormatSettings::russian());
    EXPECT_EQ(RepApi::resultStatement(*example, 17),
              "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
              "TskID) VALUES( GetNextPK('TskResult'), 'dens', 3, '2', '0,35', NULL, NULL, NULL, 17);");
    setFormatSettings(FormatSettings::english());
    EXPECT_EQ(RepApi::resultStatement(*example, 17),
              "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
              "TskID) VALUES( GetNextPK('TskResult'), 'dens', 3, '2', '0.35', NULL, NULL, NULL, 17);");

    DataPackPtr log = pack({{"LogType", std::make_shared<CInteger>(1)},
                            {"LogMessage", std::make_shared<CString>("Анализ завершен")}});
    EXPECT_EQ(RepApi::logStatement(*log, 17),
              "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), 1, 'Анализ завершен', 17);");
}

TEST_F(RepApiStatementTextTest, AbsentAndNullValuesAreNullAndOtherNamesAreIgnored)
{
    EXPECT_EQ(RepApi::resultStatement(DataPack(), -2),
              "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
              "TskID) VALUES( GetNextPK('TskResult'), NULL, NULL, NULL, NULL, NULL, NULL, NULL, -2);");
    DataPackPtr mixed = pack({{"ResSysName", nullptr},
                              {"resorder", std::make_shared<CInteger>(-4)},
                              {"Weight", std::make_shared<CInteger>(9)},
                              {"COLID", std::make_shared<CInteger>(12)}});
    EXPECT_EQ(RepApi::resultStatement(*mixed, 1),
              "INSERT INTO TskResult (ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
              "TskID) VALUES( GetNextPK('TskResult'), NULL, -4, NULL, NULL, NULL, 12, NULL, 1);");
    EXPECT_EQ(RepApi::logStatement(DataPack(), 1),
              "INSERT INTO TskLog (LogID, LogType, LogMessage, TskID) VALUES( GetNextPK('TskLog'), NULL, NULL, 1);");
}

TEST_F(RepApiStatementTextTest, UnquotedColumnsTakeOnlyIntegers)
{
    setFormatSettings(FormatSettings::russian());
    DataPackPtr real = pack({{"ResOrder", std::make_shared<CDouble>(0.35)}});
    EXPECT_EQ(systemErrorOf([&] { RepApi::resultStatement(*real, 1); }),
              "RepApi.saveResult(DataPack*): Колонка ResOrder принимает только целые числа: 0.35");
    DataPackPtr smuggled = pack({{"LogType", std::make_shared<CString>("1, 'x', 1); DELETE FROM Task; --")}});
    EXPECT_EQ(systemErrorOf([&] { RepApi::logStatement(*smuggled, 1); }).rfind("RepApi.saveLog(DataPack*): ", 0), 0u);
}

TEST_F(RepApiStatementTextTest, QuotesInsideQuotedValuesAreDoubled)
{
    DataPackPtr quoted = pack({{"ResTableName", std::make_shared<CString>("O'Brien's")}});
    EXPECT_NE(RepApi::resultStatement(*quoted, 1).find(", 'O''Brien''s', 1);"), std::string::npos);
}

class RepApiWriteTest : public RepApiTest {
protected:
    void SetUp() override
    {
        RepApiTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        seedTask(*db);
        db->repository({"INSERT INTO Task (TskID, DtsID) VALUES (18, 5)"});
    }

    static DataPackPtr dens(int order, double share)
    {
        return pack({{"ResSysName", std::make_shared<CString>("dens")},
                     {"ResOrder", std::make_shared<CInteger>(order)},
                     {"ResValue1", std::make_shared<CInteger>(order + 1)},
                     {"ResValue2", std::make_shared<CDouble>(share)}});
    }
};
DODOZ_ON_EVERY_BACKEND(RepApiWriteTest);

TEST_P(RepApiWriteTest, RunWritesItsRowsWithNewKeysInOneTransaction)
{
    RepApi api(17);
    api.beginTrans();
    api.deleteResults();
    api.commitTrans();
    api.beginTrans();
    api.saveResult(*dens(0, 0.35));
    api.saveResult(*dens(1, 99.65));
    api.saveResult(*pack({{"ResSysName", std::make_shared<CString>("class")}, {"ResOrder", std::make_shared<CInteger>(0)}}));
    api.saveLog(*pack({{"LogType", std::make_shared<CInteger>(1)},
                       {"LogMessage", std::make_shared<CString>("Анализ завершен")}}));
    api.commitTrans();

    EXPECT_EQ(repositoryRows("SELECT ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
                             "TskID FROM TskResult ORDER BY ResID"),
              (std::vector<std::vector<std::string>>{{"1", "dens", "0", "1", "0,35", "NULL", "NULL", "NULL", "17"},
                                                     {"2", "dens", "1", "2", "99,65", "NULL", "NULL", "NULL", "17"},
                                                     {"3", "class", "0", "NULL", "NULL", "NULL", "NULL", "NULL", "17"}}));
    EXPECT_EQ(repositoryRows("SELECT LogID, LogType, LogMessage, TskID FROM TskLog"),
              (std::vector<std::vector<std::string>>{{"1", "1", "Анализ завершен", "17"}}));
}

TEST_P(RepApiWriteTest, CyrillicAndQuotesAreStoredAsTheyAre)
{
    const std::string message = "Анализ завершен: «д'Артаньян»";
    RepApi api(17);
    api.saveLog(*pack({{"LogType", std::make_shared<CInteger>(2)}, {"LogMessage", std::make_shared<CString>(message)}}));
    EXPECT_EQ(repositoryRows("SELECT LogMessage FROM TskLog")[0][0], message);
    std::string bytes = sqlite() ? "SELECT length(CAST(LogMessage AS BLOB)) FROM TskLog"
                                 : "SELECT octet_length(LogMessage) FROM TskLog";
    EXPECT_EQ(repositoryRows(bytes)[0][0], std::to_string(Cp1251ToUtf8(message).size()));
}

TEST_P(RepApiWriteTest, EmptyPackWritesARowOfNulls)
{
    RepApi api(17);
    api.saveResult(DataPack());
    EXPECT_EQ(repositoryRows("SELECT ResID, ResSysName, ResOrder, ResValue1, ResValue2, ResValue3, ColID, ResTableName, "
                             "TskID FROM TskResult"),
              (std::vector<std::vector<std::string>>{{"1", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "17"}}));
}

TEST_P(RepApiWriteTest, RealInABareColumnIsRefusedBeforeTheStatementRuns)
{
    RepApi api(17);
    DataPackPtr bad = pack({{"ResOrder", std::make_shared<CDouble>(0.35)}});
    EXPECT_EQ(systemErrorOf([&] { api.saveResult(*bad); }).rfind("RepApi.saveResult(DataPack*): ", 0), 0u);
    EXPECT_TRUE(repositoryRows("SELECT ResID FROM TskResult").empty());
}

TEST_P(RepApiWriteTest, DeletingTouchesOnlyTheTasksRowsAndAnEmptyTaskIsNoError)
{
    RepApi other(18);
    other.saveResult(*dens(0, 1.0));
    other.saveLog(*pack({{"LogType", std::make_shared<CInteger>(1)}}));
    RepApi api(17);
    EXPECT_NO_THROW(api.deleteResults());
    api.saveResult(*dens(0, 1.0));
    api.deleteResults();
    EXPECT_EQ(repositoryRows("SELECT TskID FROM TskResult"), (std::vector<std::vector<std::string>>{{"18"}}));
    EXPECT_EQ(repositoryRows("SELECT TskID FROM TskLog"), (std::vector<std::vector<std::string>>{{"18"}}));
}

TEST_P(RepApiWriteTest, KeysOfDeletedRowsAreNotHandedOutAgain)
{
    RepApi api(17);
    api.saveResult(*dens(0, 1.0));
    api.saveResult(*dens(1, 2.0));
    api.deleteResults();
    api.saveResult(*dens(0, 3.0));
    EXPECT_EQ(repositoryRows("SELECT ResID FROM TskResult"), (std::vector<std::vector<std::string>>{{"3"}}));
}

TEST_P(RepApiWriteTest, RowsOfATransactionNeverCommittedAreLost)
{
    RepApi api(17);
    api.saveResult(*dens(0, 1.0));
    api.beginTrans();
    api.deleteResults();
    api.commitTrans();
    api.beginTrans();
    api.saveResult(*dens(0, 2.0));
    api.saveLog(*pack({{"LogType", std::make_shared<CInteger>(1)}}));
    api.close();
    EXPECT_TRUE(repositoryRows("SELECT * FROM TskResult").empty());
    EXPECT_TRUE(repositoryRows("SELECT * FROM TskLog").empty());
}
