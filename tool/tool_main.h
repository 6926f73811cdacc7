#pragma once

#include <ostream>

#include "outcomes.h"

// The whole run of tool.exe: checks the command line, builds the report and stores it.
// Messages go to out; returns the exit status (ExitOk or ExitFailure).
int ToolMain(int argc, const char* const argv[], std::ostream& out);
