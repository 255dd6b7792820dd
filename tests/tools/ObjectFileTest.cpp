// The objects dodoz-classify reads for a task: the task's input columns found by name in
// any order, with dodoz-register's rules for separators, decimal commas and encodings,
// and the answer in the forms it prints.

#include <gtest/gtest.h>

#include <fstream>

#include "runtime/Runtime.h"
#include "tests/support/TempDir.h"
#include "tools/classify/Classification.h"

namespace {

class ObjectFileTest : public ::testing::Test {
protected:
    std::string file(const std::string& bytes)
    {
        const std::string path = dir / "objects.csv";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::string refusal(const std::string& bytes, const std::vector<std::string>& inputs)
    {
        const std::string path = file(bytes);
        try {
            ObjectFile::read(path, inputs, {});
        } catch (const Exception& e) {
            return e.text().rfind(path, 0) == 0 ? e.text().substr(path.size() + 2) : e.text();
        }
        return "no error";
    }

    static std::vector<double> values(const ObjectFile& f, size_t i)
    {
        std::vector<double> out;
        for (int j = 0; j < f.objects[i]->size(); ++j)
            out.push_back(f.objects[i]->getDouble(j));
        return out;
    }

    TempDir dir{"dodoz-objects"};
};

TEST_F(ObjectFileTest, ColumnsByNameInAnyOrderAndOtherColumnsLeftAlone)
{
    const ObjectFile f = ObjectFile::read(file("class,Petal Width,sepal_length\n1,1.5,6.0\n2,2.5,7.1\n"),
                                          {"SEPAL_LENGTH", "Petal_Width"}, {});
    ASSERT_EQ(f.objects.size(), 2u);
    EXPECT_EQ(values(f, 0), (std::vector<double>{6.0, 1.5})) << "the stored plain name matches its header";
    EXPECT_EQ(values(f, 1), (std::vector<double>{7.1, 2.5}));
    EXPECT_EQ(f.lines, (std::vector<int>{2, 3}));

    const ObjectFile commas = ObjectFile::read(file("\xEF\xBB\xBF" "a;b\n6,5;1.5\n"), {"a", "b"}, {});
    EXPECT_EQ(values(commas, 0), (std::vector<double>{6.5, 1.5})) << "either separator in a ';' file";
}

TEST_F(ObjectFileTest, RefusalsNameTheLineAndTheColumn)
{
    EXPECT_EQ(refusal("a,c\n1,2\n", {"a", "b"}),
              "there is no column 'b'; the objects need every input column of the task by name");
    EXPECT_EQ(refusal("a,b\n1,\n", {"a", "b"}), "line 2, column b is empty; every input of an object needs a value");
    EXPECT_NE(refusal("a,b\n1,2,5\n", {"a", "b"}).find("line 2"), std::string::npos);
    EXPECT_EQ(refusal("a,b\n", {"a", "b"}), "there are no objects below the header");
}

TEST(ClassificationTest, WordsCsvAndJsonCarryTheLabels)
{
    Classification c;
    c.classCodes = {0, 1};
    c.labels = {"red", "dark, \"old\""};
    c.objects = {{2, 1, {12.5, 87.5}}, {3, -999999, {0, 0}}};
    EXPECT_EQ(c.inWords(), "Object 1 (line 2): class 1 (dark, \"old\"); shares of the summed class densities: class 0 "
                           "(red) 12.50 %, class 1 (dark, \"old\") 87.50 %\n"
                           "Object 2 (line 3): no class (-999999); shares of the summed class densities: class 0 (red) "
                           "0.00 %, class 1 (dark, \"old\") 0.00 %\n");
    EXPECT_EQ(c.asCsv(), "object,line,class,label,share_0,share_1\n1,2,1,\"dark, \"\"old\"\"\",12.5,87.5\n"
                         "2,3,-999999,,0,0\n");
    const std::string json = c.asJsonLines();
    EXPECT_EQ(json.substr(0, json.find('\n') + 1),
              "{\"object\": 1, \"line\": 2, \"class\": 1, \"label\": \"dark, \\\"old\\\"\", \"shares\": [{\"class\": 0, "
              "\"label\": \"red\", \"share\": 12.5}, {\"class\": 1, \"label\": \"dark, \\\"old\\\"\", \"share\": 87.5}]}\n");
    EXPECT_NE(json.find("\"class\": -999999, \"label\": null"), std::string::npos) << json;
}

}  // namespace
