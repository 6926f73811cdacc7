#include "host_protocol.h"

#include <cstdio>

namespace dialog_host {

Command ParseCommand(const std::string& line, std::size_t maxArgs) {
    Command command;
    std::string rest = line;
    while (!rest.empty() && (rest.back() == '\r' || rest.back() == '\n')) rest.pop_back();
    std::size_t space = rest.find(' ');
    command.verb = rest.substr(0, space);
    rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
    while (!rest.empty() && command.args.size() < maxArgs) {
        space = command.args.size() + 1 == maxArgs ? std::string::npos : rest.find(' ');
        command.args.push_back(rest.substr(0, space));
        rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
    }
    return command;
}

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonStringArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ",";
        out += JsonString(items[i]);
    }
    return out + "]";
}

}  // namespace dialog_host
