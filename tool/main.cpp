#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "tool_main.h"
#include "win_system_library.h"

// The C runtime's argv holds the arguments in the ANSI code page, which loses the characters it
// lacks and maps some to others (best fit), so they are taken from the wide command line instead.
int main() {
    // elevated, the program must take no DLL from its own folder or the current one
    RestrictDllSearchToSystem32();
    const std::vector<std::string> arguments = CommandLineArguments();
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    return ToolMain(static_cast<int>(arguments.size()), argv.data(), std::cout);
}
