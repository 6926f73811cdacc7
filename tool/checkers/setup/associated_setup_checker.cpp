#include "associated_setup_checker.h"

#include <algorithm>
#include <array>
#include <utility>

#include "utf.h"

namespace {

const char kUrlProtocolValueName[] = "URL Protocol";

bool EndsWithIgnoringAsciiCase(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           EqualsIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Blank-separated tokens; a blank between double quotes belongs to its token.
std::vector<std::string> CommandTokens(const std::string& command) {
    std::vector<std::string> tokens;
    std::string token;
    bool quoted = false;
    bool inToken = false;
    for (const char c : command) {
        if (IsBlank(c) && !quoted) {
            if (inToken) {
                tokens.push_back(token);
                token.clear();
                inToken = false;
            }
            continue;
        }
        if (c == '"') {
            quoted = !quoted;
        }
        token += c;
        inToken = true;
    }
    if (inToken) {
        tokens.push_back(token);
    }
    return tokens;
}

}  // namespace

std::string FillTemplate(const std::string& text, const std::string& applicationName,
                         bool* usedName) {
    std::string filled;
    filled.reserve(text.size() + applicationName.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == 's') {
            filled += applicationName;
            if (usedName != nullptr) {
                *usedName = true;
            }
            ++i;
        } else if (text[i] == '%' && next == '%') {
            filled += '%';
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

std::string QuoteCommandLine(const std::string& command,
                             const std::optional<std::string>& programDirectory,
                             std::size_t* folderStart) {
    const std::vector<std::string> tokens = CommandTokens(command);
    if (folderStart != nullptr) {
        *folderStart = tokens.empty() ? 0 : 1;  // after the opening quote
    }
    if (tokens.empty()) {
        return programDirectory.value_or(std::string()) + command;
    }
    std::string program = tokens.front();
    program.erase(std::remove(program.begin(), program.end(), '"'), program.end());
    std::string quoted = "\"" + programDirectory.value_or(std::string()) + program + "\"";
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::string& argument = tokens[i];
        quoted +=
            argument.find('"') == std::string::npos ? " \"" + argument + "\"" : " " + argument;
    }
    return quoted;
}

namespace {

// An item that the setup of the URL protocol writes under HKEY_CLASSES_ROOT\<name>.
bool IsSchemeItem(const SetupItem& item, const std::string& applicationName) {
    if (item.rootKey != RegistryRoot::ClassesRoot ||
        (item.wtag != "setup" && item.wtag != "url" && item.wtag != "url_protocol")) {
        return false;
    }
    const std::string& key = item.subKey;
    return EqualsIgnoringAsciiCase(key.substr(0, applicationName.size()), applicationName) &&
           (key.size() == applicationName.size() || key[applicationName.size()] == '\\');
}

// The file name of a command line's program, as Windows finds it: the quoted first token, or else
// the first blank-ended start that ends in ".exe" (an unquoted path with blanks), or else the
// first token.
std::string ProgramFileName(const std::string& command) {
    std::string program;
    if (!command.empty() && command[0] == '"') {
        program = command.substr(1, command.find('"', 1) - 1);
    } else {
        const std::vector<std::string> tokens = CommandTokens(command);
        std::string start;
        for (const std::string& token : tokens) {
            start += start.empty() ? token : " " + token;
            if (EndsWithIgnoringAsciiCase(start, ".exe")) {
                program = start;
                break;
            }
        }
        if (program.empty() && !tokens.empty()) {
            program = tokens.front();
        }
    }
    const std::size_t cut = program.find_last_of("\\/");
    return cut == std::string::npos ? program : program.substr(cut + 1);
}

// Whether a stored text is one the item writes, an earlier version wrote, or a setup that
// stopped half-way left.
bool IsOwnValue(const SetupItem& item, const std::optional<std::string>& text) {
    if (!text) {
        return false;
    }
    if (text->empty() || item.wtag == "url_protocol") {
        return true;
    }
    if (item.wtag == "setup") {
        return EqualsIgnoringAsciiCase(ProgramFileName(*text), ProgramFileName(item.data));
    }
    return EqualsIgnoringAsciiCase(*text, item.data);
}

const std::array<std::pair<const char*, RegistryRoot>, 5> kRoots = {{
    {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
    {"HKEY_USERS", RegistryRoot::Users},
    {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
}};

}  // namespace

std::optional<RegistryRoot> RootKeyFromName(const std::string& name) {
    for (const auto& [rootName, root] : kRoots) {
        if (EqualsIgnoringAsciiCase(name, rootName)) {
            return root;
        }
    }
    return std::nullopt;
}

const char* RootKeyName(RegistryRoot root) {
    for (const auto& [rootName, named] : kRoots) {
        if (named == root) {
            return rootName;
        }
    }
    return kRoots[0].first;
}

std::vector<std::string> SetupKeyPaths(const std::vector<SetupItem>& items,
                                       const std::string& applicationName) {
    std::vector<std::string> paths;
    for (const SetupItem& item : items) {
        if (!IsSchemeItem(item, applicationName)) {
            continue;
        }
        for (std::size_t end = applicationName.size(); end != std::string::npos;
             end = item.subKey.find('\\', end + 1)) {
            const std::string path = item.subKey.substr(0, end);
            if (std::none_of(paths.begin(), paths.end(), [&](const std::string& known) {
                    return EqualsIgnoringAsciiCase(known, path);
                })) {
                paths.push_back(path);
            }
        }
        if (std::none_of(paths.begin(), paths.end(), [&](const std::string& known) {
                return EqualsIgnoringAsciiCase(known, item.subKey);
            })) {
            paths.push_back(item.subKey);
        }
    }
    return paths;
}

bool IsAnotherProgramsClass(const std::vector<SetupItem>& items, const std::string& applicationName,
                            const std::map<std::string, RegistryKeyContents>& keys) {
    const std::vector<std::string> paths = SetupKeyPaths(items, applicationName);
    for (const std::string& path : paths) {
        const auto found = keys.find(path);
        if (found == keys.end()) {
            continue;
        }
        const RegistryKeyContents& key = found->second;
        if (key.unreadable) {
            return true;
        }
        for (const std::string& subKey : key.subKeys) {
            if (std::none_of(paths.begin(), paths.end(), [&](const std::string& known) {
                    return EqualsIgnoringAsciiCase(known, path + "\\" + subKey);
                })) {
                return true;
            }
        }
        for (const auto& value : key.values) {
            if (std::none_of(items.begin(), items.end(), [&](const SetupItem& item) {
                    return IsSchemeItem(item, applicationName) &&
                           EqualsIgnoringAsciiCase(item.subKey, path) &&
                           EqualsIgnoringAsciiCase(item.valueName, value.first) &&
                           IsOwnValue(item, value.second);
                })) {
                return true;
            }
        }
    }
    return false;
}

DataParts SplitAtFolder(const SetupItem& item) {
    const std::string& data = item.data;
    const std::size_t start = std::min(item.folderStart, data.size());
    const std::size_t length = std::min(item.folderLength, data.size() - start);
    if (length == 0) {
        return {data, std::string(), std::string()};
    }
    return {data.substr(0, start), data.substr(start, length), data.substr(start + length)};
}

SetupLoadResult LoadSetupItems(const pugi::xml_node& section, const SetupNames& names,
                               std::vector<SetupItem>& items) {
    items.clear();
    if (!section) {
        return SetupRefused;
    }
    const pugi::xml_node win = section.child("win");
    if (!win) {
        return SetupRefused;
    }
    const std::string& name = names.applicationName;
    bool unresolved = false;

    for (const pugi::xml_node& element : win.children()) {
        SetupItem item;
        item.rootName = element.attribute("key").value();
        const std::optional<RegistryRoot> root = RootKeyFromName(item.rootName);
        if (!root) {
            items.clear();
            return SetupRefused;
        }
        item.rootKey = *root;
        item.wtag = element.attribute("wtag").value();

        bool usedName = false;
        if (item.wtag == "setup" || item.wtag == "url") {
            item.subKey = FillTemplate(element.attribute("sub_key").value(), name, &usedName);
            item.data = FillTemplate(element.attribute("data").value(), name, &usedName);
        } else if (item.wtag == "url_protocol") {
            item.subKey = FillTemplate(element.attribute("sub_key").value(), name, &usedName);
            item.valueName = kUrlProtocolValueName;
        } else {
            item.subKey = element.attribute("sub_key").value();
            item.data = element.attribute("data").value();
        }
        // the name becomes a key path and a URL scheme: an empty one would address the root
        // itself, a backslash a nested key, other characters a scheme no link can name
        if (usedName && !IsValidApplicationName(name)) {
            unresolved = true;
        }

        const bool inProgramDirectory =
            std::string(element.attribute("current_path_enable").value()) == "1";
        if (inProgramDirectory && !names.programDirectory) {
            unresolved = true;
        }
        const std::optional<std::string> directory =
            inProgramDirectory ? names.programDirectory : std::nullopt;
        if (item.wtag == "setup") {
            item.data = QuoteCommandLine(item.data, directory, &item.folderStart);
        } else if (directory) {
            item.data = *directory + item.data;
        }
        item.folderLength = directory ? directory->size() : 0;
        item.status = ItemUnchecked;
        items.push_back(std::move(item));
    }
    if (unresolved) {
        items.clear();
        return SetupUnresolved;
    }
    return SetupLoaded;
}
