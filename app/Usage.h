#pragma once
// The two questions a person may ask the program instead of starting a run:
// "dodoz --help" and "dodoz --version". They are answered before the window, the
// journal or a database is touched. Any other first argument is a task key, read as
// the run has always read it.

#include <optional>
#include <ostream>

// The exit code when the first argument is one of the two questions (the answer is
// written to out), nothing when the run should go ahead.
std::optional<int> answerUsageQuestion(int argc, char** argv, std::ostream& out);
