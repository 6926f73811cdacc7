#pragma once
// The facts of one run, resolved once where it starts and handed to what needs them: the
// setup, the certificate row, the settings file and the repair log.

#include <cstddef>
#include <optional>
#include <string>

struct RunFacts {
    // the program's folder in its long form, with its trailing separator; none when unknown
    std::optional<std::string> programDirectory;
    // as name.xml gives it, not yet validated; empty when the folder is unknown
    std::string applicationName;
    std::string language;  // as Lang_config.cfg gives it: "cs" or "en"
    // the run holds the machine lock; without it the run checks and reports but repairs nothing
    bool mayRepair = true;
};

// A real name file holds a line; a larger one counts as a file that does not load.
constexpr std::size_t kLongestNameFile = 64 * 1024;

// The folder of a program path up to and including its last "\" or "/"; none without one.
std::optional<std::string> ProgramDirectoryOf(const std::string& programPath);

// The name the name file at path gives (ApplicationNameFromFile): the default one when there is no
// such file or it is larger than kLongestNameFile (it is then not read whole), and none (empty)
// when it is there but cannot be read.
std::string ReadApplicationName(const std::string& path);

// Reads the program's path, name.xml and Lang_config.cfg, each once.
RunFacts ResolveRunFacts();
