#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

// Makes sure the registry registers the application name as a URL protocol.
class AssociatedSetupChecker {
public:
    virtual ~AssociatedSetupChecker() = default;
    virtual int LoadConfig(const pugi::xml_node& section) = 0;
    virtual int Check() = 0;
    virtual int Repair() = 0;
};

// The Windows implementation, with an empty item list.
std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker();

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
};

// Results of building the item list.
enum SetupLoadResult : int {
    SetupLoaded = 0,
    // no section, no "win" element, or a root name outside the table
    SetupRefused = 3,
    // an item needs the application name or the program directory and it is unknown
    SetupUnresolved = 5,
};

// What the item templates are filled with; asked for only once the section has a "win" element.
struct SetupNames {
    std::optional<std::string> programDirectory;  // with its trailing backslash; none if unknown
    std::string applicationName;                  // empty if unknown
};

// Upper-cases the name and matches it exactly against the five HKEY_* root names.
std::optional<RegistryRoot> RootKeyFromName(const std::string& name);

// Replaces "%s" by the name and "%%" by one percent sign; every other character, any other "%"
// included, stays as it is.
std::string FillTemplate(const std::string& text, const std::string& applicationName);

// The directory of a program path up to and including its last backslash; none without one.
std::optional<std::string> ProgramDirectoryOf(const std::string& programPath);

// The application name from the name file; "Brevant" when the file or its application element
// is missing or malformed, the "name" attribute as written (possibly empty) otherwise.
std::string ReadApplicationName(const std::string& path);

// Rebuilds items from the "setup" section. On any result but SetupLoaded the list is empty.
SetupLoadResult LoadSetupItems(const pugi::xml_node& section,
                               const std::function<SetupNames()>& resolveNames,
                               std::vector<SetupItem>& items);
