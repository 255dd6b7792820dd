#pragma once
// The command line, stored by the entry.

#include <string>

void setCommandLine(int argc, char** argv);
int ParamCount();
std::string ParamStr(int index);  // 0 is the program, 1 the first argument
