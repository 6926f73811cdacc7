#pragma once

#include <ostream>

// The whole run of tool.exe: checks the command line, builds the report and stores it.
// Messages go to out; returns the exit status (0 or -1).
int ToolMain(int argc, const char* const argv[], std::ostream& out);
