#include <windows.h>

#include "command_line.h"
#include "utf.h"
#include "win_handle_owners.h"

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    const UniqueArgumentList list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    if (!list) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        // lossless, so that an argument naming a path is never turned into another path
        arguments.push_back(Utf8FromUtf16Lossless(list.get()[i]));
    }
    return arguments;
}
