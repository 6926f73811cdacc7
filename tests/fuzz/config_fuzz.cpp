// The configuration document and the names taken from it, over a generated document: the hosts
// section as the hosts checker loads it, the application name as the name file gives it and its
// validation, the filling of the item templates, and the setup section's item list. Each is held
// to an independent oracle (printf, a regular expression, pugixml's XPath, strcasecmp) or to the
// promises its header makes, never to a second copy of its own rules.

#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "associated_setup_checker.h"
#include "hosts_checker.h"

namespace {

const char kDirectory[] = "C:\\Program Files\\Brevant\\";

void Require(bool promise) {
    if (!promise) std::abort();
}

// The hosts checker without its file steps, for its LoadConfig.
class SectionHostsChecker : public HostsChecker {
public:
    CheckCode Check() override { return CheckInternalError; }
    RepairResult Repair() override { return RepairResult{HostsRepairFailed, "", 0}; }
    const HostsEntries& Entries() const { return entries; }
};

// Every child naming a host with an address is in the table, and the first such child per host
// gives its address.
void CheckHostsSection(const pugi::xml_document& document) {
    const pugi::xml_node section = document.child("hosts");
    SectionHostsChecker checker;
    Require(checker.LoadConfig(section) == (section ? ConfigLoaded : HostsConfigMissing));
    std::set<std::string> named;
    for (const pugi::xml_node& child : section.children()) {
        const std::string domain = child.attribute("domain").value();
        const std::string ip = child.attribute("ip").value();
        if (domain.empty() || ip.empty() || !named.insert(domain).second) continue;
        const auto entry = checker.Entries().find(domain);
        Require(entry != checker.Entries().end() && entry->second == ip);
    }
    Require(named.size() == checker.Entries().size());
}

void CheckApplicationName(const pugi::xml_document& document, bool loaded,
                          const std::string& name) {
    const pugi::xpath_node application = document.select_node("/root[1]/windows[1]/application[1]");
    Require(name ==
            (loaded && application ? application.node().attribute("name").value() : "Brevant"));
    static const std::regex kScheme("[A-Za-z][A-Za-z0-9+.-]{0,62}");
    Require(IsValidApplicationName(name) == std::regex_match(name, kScheme));
}

// Where the template's only conversions are one "%s" and "%%", printf fills it as well; text
// without "%" stays as it is.
void CheckFill(const std::string& text, const std::string& name) {
    const std::string filled = FillTemplate(text, name);
    if (text.find('%') == std::string::npos) Require(filled == text);
    int names = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == 's' && names == 0) {
            ++names;
            ++i;
        } else {
            return;
        }
    }
    std::vector<char> buffer(text.size() + name.size() + 1);
    std::snprintf(buffer.data(), buffer.size(), text.c_str(), name.c_str());
    Require(filled == buffer.data());
}

void CheckRoot(const std::string& name) {
    const char* const names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
    const RegistryRoot roots[] = {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser,
                                  RegistryRoot::LocalMachine, RegistryRoot::Users,
                                  RegistryRoot::CurrentConfig};
    std::optional<RegistryRoot> expected;
    for (int i = 0; i < 5; ++i) {
        if (strcasecmp(name.c_str(), names[i]) == 0) expected = roots[i];
    }
    Require(RootKeyFromName(name) == expected);
}

bool UsesName(const std::string& text) {
    return FillTemplate(text, "a") != FillTemplate(text, "b");
}

// The item list keeps the order and number of the "win" children, each item built from its own
// attributes; any refused root empties it, and so does a name or folder an item needs and lacks.
void CheckSetupSection(const pugi::xml_document& document, const std::string& name,
                       const std::optional<std::string>& directory) {
    const pugi::xml_node section = document.child("setup");
    const pugi::xml_node win = section.child("win");
    std::vector<SetupItem> items(1);  // a stale item every load must drop
    const SetupLoadResult result = LoadSetupItems(section, SetupNames{directory, name}, items);

    bool refused = !win;
    bool unresolved = false;
    std::size_t count = 0;
    for (const pugi::xml_node& element : win.children()) {
        const std::string key = element.attribute("key").value();
        CheckRoot(key);
        if (!RootKeyFromName(key)) {
            refused = true;
            break;
        }
        const std::string wtag = element.attribute("wtag").value();
        const std::string subKey = element.attribute("sub_key").value();
        const std::string data = wtag == "url_protocol" ? "" : element.attribute("data").value();
        const bool filled = wtag == "setup" || wtag == "url" || wtag == "url_protocol";
        const bool inDirectory =
            std::string(element.attribute("current_path_enable").value()) == "1";
        unresolved = unresolved || (filled && (UsesName(subKey) || UsesName(data)) &&
                                    !IsValidApplicationName(name));
        unresolved = unresolved || (inDirectory && !directory);
        if (result != SetupLoaded) continue;

        Require(count < items.size());
        const SetupItem& item = items[count];
        const std::optional<std::string> prefix = inDirectory ? directory : std::nullopt;
        const std::string text = filled ? FillTemplate(data, name) : data;
        Require(item.rootKey == *RootKeyFromName(key) && item.rootName == key &&
                item.wtag == wtag && item.status == ItemUnchecked);
        Require(item.subKey == (filled ? FillTemplate(subKey, name) : subKey));
        Require(item.valueName == (wtag == "url_protocol" ? "URL Protocol" : ""));
        Require(item.data ==
                (wtag == "setup" ? QuoteCommandLine(text, prefix) : prefix.value_or("") + text));
        ++count;
    }
    Require(result == (refused ? SetupRefused : (unresolved ? SetupUnresolved : SetupLoaded)));
    Require(items.size() == (result == SetupLoaded ? count : 0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_buffer(data, size);

    CheckHostsSection(document);
    const std::string name = ApplicationNameFromDocument(document, loaded);
    CheckApplicationName(document, static_cast<bool>(loaded), name);

    // every attribute of the document as a template, filled with the name
    std::vector<pugi::xml_node> pending = {document};
    while (!pending.empty()) {
        const pugi::xml_node node = pending.back();
        pending.pop_back();
        for (const pugi::xml_attribute& attribute : node.attributes()) {
            CheckFill(attribute.value(), name);
        }
        for (const pugi::xml_node& child : node.children()) pending.push_back(child);
    }

    // the program's folder is unknown for odd sizes
    CheckSetupSection(document, name,
                      size % 2 == 0 ? std::optional<std::string>(kDirectory) : std::nullopt);
    return 0;
}
