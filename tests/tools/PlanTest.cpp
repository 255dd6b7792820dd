// What dodoz-register makes of a file before it touches a database: the names, the
// numbers, the class codes and the object, or a refusal that says what to do.

#include <gtest/gtest.h>

#include <sstream>

#include "runtime/Runtime.h"
#include "tools/register/Registration.h"

namespace {

class PlanTest : public ::testing::Test {
protected:
    RegistrationRequest request(const std::string& csv, const std::string& classColumn, const std::string& object)
    {
        RegistrationRequest r;
        std::istringstream in(csv);
        r.csvName = "data.csv";
        r.csv = CsvTable::read(in, r.csvName);
        r.decimal = r.csv.delimiter == ';' ? 0 : '.';
        r.classColumn = classColumn;
        std::istringstream values(object);
        for (std::string v; std::getline(values, v, '|');)
            r.objectValues.push_back(v);
        r.table = "data";
        return r;
    }

    static std::string refusal(const RegistrationRequest& r)
    {
        try {
            planRegistration(r);
        } catch (const Exception& e) {
            return e.text();
        }
        return "no error";
    }
};

TEST_F(PlanTest, SemicolonExportWithDecimalCommasAndABom)
{
    const auto plan = planRegistration(request("\xEF\xBB\xBF" "alcohol;ash;class\r\n13,2;2,1;1\r\n12,5;;2\r\n", "class", "13,0|2,5"));
    EXPECT_EQ(plan.inputNames, (std::vector<std::string>{"alcohol", "ash"}));
    ASSERT_EQ(plan.inputs.size(), 2u);
    EXPECT_EQ(plan.inputs[0], (std::vector<std::optional<double>>{13.2, 2.1}));
    EXPECT_EQ(plan.inputs[1], (std::vector<std::optional<double>>{12.5, std::nullopt}));
    EXPECT_EQ(plan.object, (std::vector<double>{13.0, 2.5}));
    EXPECT_TRUE(plan.classLabels.empty());
}

TEST_F(PlanTest, DecimalSeparatorGivenIsTheOnlyOneTaken)
{
    auto r = request("a,class\n\"1,5\",0\n", "class", "1");
    EXPECT_EQ(refusal(r), "data.csv, line 2, column a: '1,5' is not a number; if the file writes decimal commas, "
                          "give --decimal ,");
    r.decimal = ',';
    EXPECT_EQ(planRegistration(r).inputs[0][0], 1.5);
    auto points = request("a;class\n1.5;0\n", "class", "1");
    points.decimal = ',';
    EXPECT_EQ(refusal(points), "data.csv, line 2, column a: '1.5' has a decimal point where --decimal , asks for a "
                               "comma; give --decimal . or leave it out");
}

TEST_F(PlanTest, TextLabelsAreCodedInTheOrderTheyFirstAppear)
{
    const auto plan =
        planRegistration(request("a,kind\n1,barolo\n2,grignolino\n3,barolo\n4,\n5,barbera\n", "kind", "1"));
    EXPECT_EQ(plan.classes, (std::vector<std::optional<int>>{0, 1, 0, std::nullopt, 2}));
    EXPECT_EQ(plan.classLabels, (std::vector<std::string>{"barolo", "grignolino", "barbera"}));
    EXPECT_EQ(plan.taskName,
              "Classification of one object of data (classes: 0 barolo, 1 grignolino, 2 barbera)");
    EXPECT_EQ(plan.notes.back(), "the classes of 'kind' are coded 0 barolo, 1 grignolino, 2 barbera");
}

TEST_F(PlanTest, IntegerClassesStayAsTheyAre)
{
    const auto plan = planRegistration(request("a,class\n1,7\n2,-3\n", "class", "1"));
    EXPECT_EQ(plan.classes, (std::vector<std::optional<int>>{7, -3}));
    EXPECT_TRUE(plan.classLabels.empty());
    EXPECT_EQ(plan.taskName, "Classification of one object of data");
}

TEST_F(PlanTest, HeaderNamesBecomePlainNamesAndTheMappingIsTold)
{
    const auto plan =
        planRegistration(request("Sepal Length,sepal_length,select,Class Name\n1,2,3,0\n", "Class Name", "1|2|3"));
    EXPECT_EQ(plan.inputNames, (std::vector<std::string>{"Sepal_Length", "sepal_length_2", "select_"}));
    EXPECT_EQ(plan.className, "Class_Name");
    EXPECT_EQ(plan.notes, (std::vector<std::string>{"the column 'Sepal Length' is stored as Sepal_Length",
                                                    "the column 'sepal_length' is stored as sepal_length_2",
                                                    "the column 'select' is stored as select_",
                                                    "the column 'Class Name' is stored as Class_Name"}));
}

TEST_F(PlanTest, InputsChooseTheColumnsAndTheirOrder)
{
    auto r = request("region,a,b,class\nVeneto,1,2,0\n", "class", "20|10");
    EXPECT_EQ(refusal(r), "data.csv, line 2, column region: 'Veneto' is not a number; leave the column out with "
                          "--exclude region (or choose the inputs with --inputs)");
    r.inputColumns = {"b", "a"};
    const auto plan = planRegistration(r);
    EXPECT_EQ(plan.inputNames, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(plan.inputs[0], (std::vector<std::optional<double>>{2, 1}));
    EXPECT_EQ(plan.object, (std::vector<double>{20, 10}));
}

TEST_F(PlanTest, RefusalsSayWhatToDo)
{
    auto r = request("a,b,class\n1,2,0\n", "class", "1|2");
    r.inputColumns = {"a", "c"};
    EXPECT_EQ(refusal(r), "data.csv: there is no input column 'c'; the header holds a, b, class");
    r.inputColumns = {"a", "class"};
    EXPECT_EQ(refusal(r), "the class column 'class' cannot be an input as well; leave it out of --inputs");
    r.inputColumns = {};
    r.classColumn = "Class";
    EXPECT_EQ(refusal(r), "data.csv: there is no class column 'Class'; the header holds a, b, class");
    r.classColumn = "class";
    r.objectValues = {"1"};
    EXPECT_EQ(refusal(r), "the object to classify has 1 values, but the data has 2 input columns (a, b); give one "
                          "value for each, in that order");
    r.objectValues = {"1", "x"};
    EXPECT_EQ(refusal(r), "the object's value 2 (b): 'x' is not a number; give a number");
}

TEST_F(PlanTest, TableNames)
{
    auto r = request("a,class\n1,0\n", "class", "1");
    r.table = "2024-wine";
    EXPECT_EQ(refusal(r), "the table name '2024-wine' is not a plain name (letters, digits and _, starting with a "
                          "letter, no SQL keyword); give --table t_2024_wine or another such name");
    r.tableFromFileName = true;
    const auto plan = planRegistration(r);
    EXPECT_EQ(plan.table, "t_2024_wine");
    EXPECT_EQ(plan.notes.front(), "the table is named t_2024_wine after the file (--table NAME chooses another)");
    for (const std::string own : {"Task", "tskresult", "TSKLOG", "Dataset", "DtsColumn", "DtsSource", "TskAlgParam",
                                  "PKCounter", "task_pk", "TskLog_PK"}) {
        r.table = own;
        EXPECT_EQ(refusal(r), "the table name '" + own +
                                  "' is a table of the repository itself; give --table with another name");
    }
    r.table = "Tasks";
    EXPECT_EQ(refusal(r), "no error");
}

}  // namespace
