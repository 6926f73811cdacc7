#pragma once

#include <ostream>

// tool.exe's exit status.
enum ExitStatus : int {
    ExitOk = 0,
    // a wrong command line, or a report that could not be written
    ExitFailure = -1,
};

// The whole run of tool.exe: checks the command line, builds the report and stores it.
// Messages go to out; returns the exit status (ExitOk or ExitFailure).
int ToolMain(int argc, const char* const argv[], std::ostream& out);
