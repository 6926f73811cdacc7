#include "client_check_tool.h"
#include "platform.h"

std::string ModuleDirectory() {
    const std::string path = ModuleFileName();
    const std::string::size_type separator = path.find_last_of("\\/");
    if (separator == std::string::npos) {
        return path;
    }
    return path.substr(0, separator + 1);
}
