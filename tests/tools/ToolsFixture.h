#pragma once
// dodoz-register and dodoz-results run as a user runs them, against fresh databases of
// one backend (e2e::RunFixture), with the CSV exports of tests/tools/csv.

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Runtime.h"
#include "tests/e2e/RunFixture.h"

namespace tools {

// The iris flower that every file of tests/tools/csv classifies as class 1 (versicolor).
inline constexpr const char* kVersicolor = "6.0,2.9,4.5,1.5";

std::filesystem::path exportFile(const std::string& name);  // tests/tools/csv/<name>

// The last line dodoz-register prints on success: the decimal separator the object was
// stored with, under the settings of that name.
std::string decimalNote(e2e::Regional regional);

class ToolsTest : public e2e::BackendTest {
protected:
    // dodoz-register with these arguments, in a new working directory.
    e2e::ProcessResult registerWith(const std::vector<std::string>& args,
                                    e2e::Regional regional = e2e::Regional::C);
    // The key a successful registration printed (fails the test otherwise).
    int keyOf(const e2e::ProcessResult& registration);
    // registerWith, then the key.
    int registered(const std::vector<std::string>& args, e2e::Regional regional = e2e::Regional::C);
    // dodoz-results with these arguments.
    e2e::ProcessResult resultsWith(const std::vector<std::string>& args);
    // Any of the tools (DODOZ_EXPLAIN, DODOZ_CLASSIFY, ...) with these arguments, in workDir
    // (a new one when empty).
    e2e::ProcessResult toolWith(const std::string& program, const std::vector<std::string>& args,
                                e2e::Regional regional = e2e::Regional::C, std::filesystem::path workDir = {});

    // Runs the task and expects a complete run that chose class 1.
    void expectVersicolor(int key, e2e::Regional regional = e2e::Regional::C);

    int taskCount() const;
};

// The raw JSON text of a field of a one-line object: a number, a string with its quotes,
// an array or an object; "" when there is none. Enough for the tools' own output.
std::string jsonField(const std::string& json, const std::string& name);
// The numbers of a JSON array of numbers.
std::vector<double> jsonNumbers(const std::string& array);

}  // namespace tools
