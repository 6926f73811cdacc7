#pragma once
// The dialog host's line protocol: one command per input line, one JSON object per output line.

#include <string>
#include <vector>

namespace dialog_host {

// A command line split at spaces; the last argument keeps its spaces (it may be a window title).
struct Command {
    std::string verb;
    std::vector<std::string> args;
};

// Splits "verb a b rest of line" into the verb and at most maxArgs arguments.
Command ParseCommand(const std::string& line, std::size_t maxArgs);

// A JSON string literal for UTF-8 bytes; bytes from 0x80 up pass through unchanged.
std::string JsonString(const std::string& bytes);

// A JSON array of string literals.
std::string JsonStringArray(const std::vector<std::string>& items);

}  // namespace dialog_host
