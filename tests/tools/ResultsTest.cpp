// dodoz-results reads back what a run wrote, in words, as rows and as JSON, and tells a
// complete run from a missing or failed one by its exit status.

#include "tests/tools/ToolsFixture.h"

namespace tools {
namespace {

class ResultsTest : public ToolsTest {
protected:
    // The task's stored "dens" shares, p_min and class as texts.
    struct Stored {
        std::vector<std::string> shares;
        std::string chosen, pmin;
    };
    Stored stored(int key)
    {
        Stored s;
        for (const e2e::ResultRow& row : fx->results(key)) {
            if (row.sysName == "dens")
                s.shares.push_back(row.value2.value_or(""));
            else if (row.sysName == "class")
                s.chosen = row.value1.value_or("");
            else if (row.sysName == "p_min")
                s.pmin = row.value1.value_or("");
        }
        return s;
    }
};

TEST_P(ResultsTest, ACompleteRunInWords)
{
    const int key = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor,
                                "--task-name", "Iris: which species?"});
    expectVersicolor(key);
    const Stored s = stored(key);
    ASSERT_EQ(s.shares.size(), 3u);
    const auto r = resultsWith({std::to_string(key)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Task " + std::to_string(key) + ": Iris: which species?\n"
                     "In words: the object is class 1, which holds " + s.shares[1] +
                     " % of the summed class densities at it;\n"
                     "the estimated probability of a wrong answer is " + s.pmin + " %.\n"
                     "Shares of the summed class densities: class 0: " + s.shares[0] + " %, class 1: " +
                     s.shares[1] + " %, class 2: " + s.shares[2] + " %.\n"
                     "The run is complete (TskLog: \"" + Cp1251ToUtf8("Анализ завершен") + "\").\n");
}

TEST_P(ResultsTest, JsonTakesDecimalCommasAsNumbers)
{
    DODOZ_REQUIRE(e2e::regionalUnavailable(e2e::Regional::Russian));
    const int key = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor,
                                "--task-name", "say \"iris\""},
                               e2e::Regional::Russian);
    expectVersicolor(key, e2e::Regional::Russian);
    const Stored s = stored(key);
    ASSERT_NE(s.shares[1].find(','), std::string::npos) << "a Russian run writes decimal commas";
    auto number = [](std::string text) { return AnsiReplaceStr(text, ",", "."); };
    const auto r = resultsWith({"--json", std::to_string(key)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "{\"task\": " + std::to_string(key) +
                         ", \"name\": \"say \\\"iris\\\"\", \"complete\": true, \"class\": 1, \"label\": null, "
                         "\"shares\": [{\"class\": 0, \"label\": null, \"share\": " + number(s.shares[0]) +
                         "}, {\"class\": 1, \"label\": null, \"share\": " + number(s.shares[1]) +
                         "}, {\"class\": 2, \"label\": null, \"share\": " + number(s.shares[2]) + "}], \"p_min\": " + number(s.pmin) +
                         ", \"log\": [{\"type\": 1, \"message\": \"" + Cp1251ToUtf8("Анализ завершен") + "\"}]}\n");
}

TEST_P(ResultsTest, RowsAsTheHostReadsThem)
{
    const int key = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor});
    expectVersicolor(key);
    const auto r = resultsWith({"--rows", std::to_string(key)});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find("dens        1")),
              "TskResult rows:\nResSysName  ResOrder  ResValue1  ResValue2\ndens        0         0          " +
                  stored(key).shares[0] + "\n");
    EXPECT_NE(r.out.find("\nTskLog rows:\nLogType  LogMessage\n1        " + Cp1251ToUtf8("Анализ завершен") + "\n"),
              std::string::npos)
        << r.out;
}

TEST_P(ResultsTest, ATaskWithoutACompleteRunSaysSo)
{
    const int key = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor});
    const auto notRun = resultsWith({std::to_string(key)});
    EXPECT_EQ(notRun.exitCode, 3);
    EXPECT_NE(notRun.out.find("The task has no results: it has not run yet, or its last run failed.\n"),
              std::string::npos);
    const auto json = resultsWith({"--json", std::to_string(key)});
    EXPECT_EQ(json.exitCode, 3);
    EXPECT_NE(json.out.find("\"complete\": false, \"class\": null, \"label\": null, \"shares\": [], \"p_min\": null, \"log\": []"),
              std::string::npos)
        << json.out;

    const auto missing = resultsWith({"999"});
    EXPECT_EQ(missing.exitCode, 4);
    EXPECT_EQ(missing.err, "dodoz-results: there is no task 999 in the repository\n");
}

TEST_P(ResultsTest, CommandLine)
{
    EXPECT_EQ(resultsWith({"--help"}).exitCode, 0);
    const auto noKey = resultsWith({});
    EXPECT_EQ(noKey.exitCode, 2);
    EXPECT_EQ(noKey.err, "dodoz-results: the task key is missing\nTry 'dodoz-results --help' for more information.\n");
    EXPECT_EQ(resultsWith({"abc"}).exitCode, 2);
    const auto noDsn = resultsWith({"--repository=NO_SUCH_DSN", "1"});
    EXPECT_EQ(noDsn.exitCode, 1);
    EXPECT_NE(noDsn.err.find("cannot connect to the repository NO_SUCH_DSN: IM002"), std::string::npos) << noDsn.err;
}

TEST_P(ResultsTest, SeveralTasksAsOneTableWithLabels)
{
    const int labelled = registered({exportFile("iris-labels.csv").string(), "--class=species", "-o", kVersicolor});
    const int plain = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor});
    const int notRun = registered({e2e::irisCsv().string(), "--class", "class", "--table", "iris", "--object", kVersicolor});
    expectVersicolor(labelled);
    expectVersicolor(plain);

    const auto table = resultsWith({std::to_string(labelled), std::to_string(plain), "999"});
    EXPECT_EQ(table.exitCode, 4) << "a task that does not exist";
    EXPECT_EQ(table.err, "dodoz-results: there is no task 999 in the repository\n");
    EXPECT_EQ(std::count(table.out.begin(), table.out.end(), '\n'), 3) << table.out;
    EXPECT_NE(table.out.find("versicolor"), std::string::npos) << table.out;

    const auto csv = resultsWith({"--all", "--csv"});
    EXPECT_EQ(csv.exitCode, 0) << "the task that never ran has no rows, so --all leaves it out";
    EXPECT_EQ(csv.out.substr(0, csv.out.find('\n')), "task,name,complete,class,label,p_min,shares");
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 3) << csv.out;
    EXPECT_EQ(csv.out.find("\n" + std::to_string(notRun) + ","), std::string::npos) << csv.out;

    const auto json = resultsWith({"--json", std::to_string(labelled), std::to_string(notRun)});
    EXPECT_EQ(json.exitCode, 3);
    const std::string first = json.out.substr(0, json.out.find('\n'));
    EXPECT_EQ(jsonField(first, "label"), "\"versicolor\"") << first;
    EXPECT_NE(first.find("{\"class\": 0, \"label\": \"setosa\", \"share\": "), std::string::npos) << first;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 2) << json.out;
}

DODOZ_ON_EVERY_BACKEND(ResultsTest);

}  // namespace
}  // namespace tools
