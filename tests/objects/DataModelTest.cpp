#include <gtest/gtest.h>

#include "core/Utils.h"
#include "objects/DataModel.h"
#include "objects/DataPack.h"

namespace {

ObjectPtr integer(int v) { return std::make_shared<CInteger>(v); }

VectorPtr row(std::initializer_list<ObjectPtr> cells)
{
    auto r = std::make_shared<Vector>();
    for (const auto& c : cells)
        r->add(c);
    return r;
}

class DataModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto names = std::make_shared<Vector>();
        names->add(std::make_shared<CString>("COLSYSNAME"));
        names->add(std::make_shared<CString>("COLTYPE"));
        table.setColumnNames(names);
    }

    DataModel table;
};

TEST_F(DataModelTest, FindsColumnsByNameIgnoringCase)
{
    EXPECT_EQ(table.getColumnIndex(CString("ColType")), 1);
    EXPECT_EQ(table.getColumnIndex(CString("coltype")), 1);
    try {
        table.getColumnIndex(CString("Col"));
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "DataModel.getColumnIndex(CString)");
        EXPECT_EQ(e.message, "Колонка с именем Col не найдена");
    }
    EXPECT_THROW(table.getValue(99, CString("absent")), SystemException);
}

TEST_F(DataModelTest, RowsAreFittedToTheColumns)
{
    table.addRow(row({integer(1)}));
    table.addRow(row({integer(1), integer(2), integer(3)}));
    EXPECT_EQ(table.getRow(0).size(), 2);
    EXPECT_EQ(table.getValue(0, 1), nullptr);
    EXPECT_EQ(table.getRow(1).size(), 2);
}

TEST_F(DataModelTest, AddModelChecksColumnCountsFirstAndSharesRows)
{
    DataModel wide;
    auto names = std::make_shared<Vector>();
    for (const char* n : {"A", "B", "C"})
        names->add(std::make_shared<CString>(n));
    wide.setColumnNames(names);
    wide.addRow(row({integer(1), integer(2), integer(3)}));
    try {
        table.addModel(wide);
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "DataModel.addModel(DataModel*)");
        EXPECT_EQ(e.message, "Количество колонок не равно: 2<>3");
    }
    EXPECT_EQ(table.getRowCount(), 0);
    EXPECT_EQ(wide.getRowCount(), 1);

    DataModel other;
    auto otherNames = std::make_shared<Vector>();
    otherNames->add(std::make_shared<CString>("X"));
    otherNames->add(std::make_shared<CString>("Y"));
    other.setColumnNames(otherNames);
    other.addRow(row({integer(5), integer(6)}));
    table.addModel(other);
    ASSERT_EQ(table.getRowCount(), 1);
    EXPECT_EQ(&table.getRow(0), &other.getRow(0));
}

TEST_F(DataModelTest, ReplaceValueStoresOneObjectInEveryMatch)
{
    for (int v : {2, 3, 2, 1})
        table.addRow(row({std::make_shared<CString>("c"), integer(v)}));
    auto one = integer(1);
    CInteger two(2);
    EXPECT_EQ(table.replaceValue(1, &two, one), 2);
    EXPECT_EQ(table.getValue(0, 1), one);
    EXPECT_EQ(table.getValue(2, 1), one);
    EXPECT_EQ(table.findRow(1, &two), -1);
    CInteger three(3);
    EXPECT_EQ(table.findRow(1, &three), 1);
    CInteger oneValue(1);
    EXPECT_EQ(table.findRow(1, &oneValue), 0);
    EXPECT_EQ(table.findRow(1, nullptr), -1);
}

TEST_F(DataModelTest, RowPacksAreCopies)
{
    table.addRow(row({std::make_shared<CString>("AGE"), integer(3)}));
    EXPECT_EQ(table.getCurrentRow(), -1);
    EXPECT_THROW(table.getCurrentPack(), SystemException);
    table.setCurrentRow(0);
    auto pack = table.getCurrentPack();
    EXPECT_EQ(pack->getInt(CString("coltype")), 3);
    EXPECT_NE(pack->get(CString("ColType")), table.getValue(0, 1));
    pack.reset();
    EXPECT_EQ(table.getRow(0).getInt(1), 3);
    auto column = table.getColumnValues(CString("COLTYPE"));
    EXPECT_EQ(column->getCapacity(), 1);
    EXPECT_NE(column->elementAt(0), table.getValue(0, 1));
}

TEST_F(DataModelTest, TextAndClone)
{
    DataModel empty;
    EXPECT_EQ(empty.toString(), " | \n");
    table.addRow(row({std::make_shared<CString>("x"), nullptr}));
    EXPECT_EQ(table.toString(), " | COLSYSNAME   | COLTYPE      | \n | x            | null         | \n");
    table.setCurrentRow(0);
    auto copy = table.cloneModel();
    EXPECT_EQ(copy->toString(), table.toString());
    EXPECT_EQ(copy->getCurrentRow(), -1);
    EXPECT_NE(copy->getColumnNames(), table.getColumnNames());
}

class DataPackTest : public ::testing::Test {
protected:
    DataPack pack;
};

TEST_F(DataPackTest, PutReplacesEqualNamesKeepingTheFirstSpelling)
{
    auto first = integer(1);
    std::weak_ptr<Object> watch = first;
    pack.put(CString("Alpha"), first);
    first.reset();
    pack.put(CString("ALPHA"), integer(2));
    EXPECT_TRUE(watch.expired());
    ASSERT_EQ(pack.size(), 1);
    EXPECT_EQ(pack.getName(0).getValue(), "Alpha");
    EXPECT_EQ(pack.getInt(CString("alpha")), 2);
}

TEST_F(DataPackTest, LookupsOfAbsentNames)
{
    EXPECT_EQ(pack.find(CString("none")), nullptr);
    EXPECT_EQ(pack.indexOf(CString("none")), -1);
    try {
        pack.get(CString("none"));
        FAIL();
    } catch (const SystemException& e) {
        EXPECT_EQ(e.place, "DataPack.getIndex(AnsiString)");
        EXPECT_EQ(e.message, "Параметр с именем none не найден");
    }
    EXPECT_THROW(pack.getInt(CString("none")), SystemException);
}

TEST_F(DataPackTest, NullValuesReadAsEmpty)
{
    pack.put(CString("n"), nullptr);
    EXPECT_EQ(pack.getString(CString("n")).getValue(), "");
    EXPECT_EQ(pack.getInt(CString("n")), 0);
}

TEST_F(DataPackTest, TextAndClone)
{
    EXPECT_EQ(pack.toString(), "");
    pack.put(CString("a"), integer(1));
    pack.put(CString("b"), nullptr);
    pack.put(CString("c"), std::make_shared<CDouble>(0.5));
    EXPECT_EQ(pack.toString(), " a = 1\n b = null\n c = 0.50\n");
    auto copy = std::static_pointer_cast<DataPack>(pack.clone());
    EXPECT_EQ(copy->toString(), pack.toString());
    EXPECT_NE(copy->get(0), pack.get(0));
}

}  // namespace
