#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "application_name.h"
#include "outcomes.h"
#include "repair_log.h"

// The setup: makes sure the registry registers the application name as a URL protocol.
class AssociatedSetupChecker {
public:
    virtual ~AssociatedSetupChecker() = default;
    virtual LoadCode LoadConfig(const pugi::xml_node& section) = 0;
    virtual CheckCode Check() = 0;
    virtual RepairResult Repair() = 0;
};

// The five predefined registry roots a configuration may name; the Windows checker maps each to
// its HKEY.
enum class RegistryRoot {
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    CurrentConfig,
};

enum ItemStatus : std::int32_t {
    ItemOk = 0,
    ItemValueMismatch = 1,
    ItemUnchecked = 2,
    ItemKeyMissing = 4,
};

// One registry value to verify.
struct SetupItem {
    RegistryRoot rootKey = RegistryRoot::ClassesRoot;
    std::string rootName;
    std::string subKey;
    std::string valueName;  // empty: the key's default value
    std::string data;
    std::string wtag;
    std::int32_t status = ItemUnchecked;
    // Where data holds the program directory (nowhere when folderLength is 0). That part of a
    // stored value is compared ignoring letter case, as Windows compares paths.
    std::size_t folderStart = 0;
    std::size_t folderLength = 0;
};

// An item's data around the program directory it holds: all of it is before when it holds none.
struct DataParts {
    std::string before;
    std::string folder;
    std::string after;
};

DataParts SplitAtFolder(const SetupItem& item);

// Results of building the item list; the checker's LoadConfig answers SetupConfigRefused for both
// failures, and its Check an internal error after SetupUnresolved.
enum SetupLoadResult {
    SetupLoaded,
    // no section, no "win" element, or a root name outside the table
    SetupRefused,
    // an item needs the application name or the program directory and it is unknown or unusable
    SetupUnresolved,
};

// What the item templates are filled with.
struct SetupNames {
    std::optional<std::string> programDirectory;  // with its trailing backslash; none if unknown
    std::string applicationName;                  // empty if unknown
};

// The Windows implementation, with an empty item list, filling its templates with names; its
// repairs are written ahead in log.
std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker(const SetupNames& names,
                                                                     RepairLog& log);

// What one registry key holds, as read before the setup writes anything.
struct RegistryKeyContents {
    std::vector<std::string> subKeys;
    // each value's name ("" for the default value) and its text; none when it is not text
    std::vector<std::pair<std::string, std::optional<std::string>>> values;
    // something in it could not be read or named in UTF-8
    bool unreadable = false;
};

// The root that the name names, ASCII letters in any case, among the five HKEY_* root names.
std::optional<RegistryRoot> RootKeyFromName(const std::string& name);
// The root's name as the configuration and the repair log write it ("HKEY_CLASSES_ROOT").
const char* RootKeyName(RegistryRoot root);

// Replaces "%s" by the name and "%%" by one percent sign; every other character, any other "%"
// included, stays as it is.
// usedName, when given, is set when a "%s" took the name.
std::string FillTemplate(const std::string& text, const std::string& applicationName,
                         bool* usedName = nullptr);

// The keys the setup's items (wtag "setup", "url" or "url_protocol", under
// HKEY_CLASSES_ROOT\<name>) write, as paths below HKEY_CLASSES_ROOT: <name> first, then every key
// on the way to an item's key, parents before children. Empty when no such item is configured.
std::vector<std::string> SetupKeyPaths(const std::vector<SetupItem>& items,
                                       const std::string& applicationName);

// Whether the keys at SetupKeyPaths (a path missing from keys does not exist) belong to
// another program, so that the setup must change nothing in them: a key holds a value or a
// subkey no item writes (a DelegateExecute, a CLSID's subkeys, another verb), the scheme's
// description is neither empty nor the item's text in any ASCII letter case, or the open command
// names another program than the item's (its file name compared ignoring ASCII case, in any
// folder). Our own keys, earlier versions' and those of a setup that stopped half-way are
// not another program's.
bool IsAnotherProgramsClass(const std::vector<SetupItem>& items, const std::string& applicationName,
                            const std::map<std::string, RegistryKeyContents>& keys);

// The command line of an item with the wtag "setup": the program (the first token, with the program
// directory in front when one is given) and each argument in double quotes, so that a blank in the
// folder or in a link cannot split them. Tokens are separated by blanks outside quotes; an argument
// holding a quote already stays as it is. A command of blanks only is treated as any other item's
// data: the directory, when given, goes in front.
// folderStart, when given, receives where the program directory begins in the result.
std::string QuoteCommandLine(const std::string& command,
                             const std::optional<std::string>& programDirectory,
                             std::size_t* folderStart = nullptr);

// Rebuilds items from the "setup" section. On any result but SetupLoaded the list is empty. An
// application name that a template uses must be valid (IsValidApplicationName).
SetupLoadResult LoadSetupItems(const pugi::xml_node& section, const SetupNames& names,
                               std::vector<SetupItem>& items);
