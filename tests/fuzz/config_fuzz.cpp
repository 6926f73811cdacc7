// The configuration document and the names taken from it, over a generated document: the hosts
// section as the hosts checker loads it, the application name as the name file gives it and its
// validation, the filling of the item templates, and the setup section's item list, each against
// the rules written out plainly here.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "associated_setup_checker.h"
#include "hosts_checker.h"

namespace {

const char kDirectory[] = "C:\\Program Files\\Brevant\\";

// The hosts checker without its file steps, for its LoadConfig.
class SectionHostsChecker : public HostsChecker {
public:
    std::string GetHostsFilePath() override { return std::string(); }
    int BuildHostsContent() override { return CheckInternalError; }
    int Repair() override { return HostsRepairFailed; }
    const HostsEntries& Entries() const { return entries; }
};

// The first attribute of element with exactly that name, found by walking them all.
std::optional<std::string> Attribute(const pugi::xml_node& element, const char* name) {
    for (pugi::xml_attribute attribute = element.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        if (std::strcmp(attribute.name(), name) == 0) {
            return std::string(attribute.value());
        }
    }
    return std::nullopt;
}

std::string Value(const pugi::xml_node& element, const char* name) {
    return Attribute(element, name).value_or("");
}

pugi::xml_node Child(const pugi::xml_node& parent, const char* name) {
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (std::strcmp(child.name(), name) == 0) {
            return child;
        }
    }
    return pugi::xml_node();
}

void CheckHostsSection(const pugi::xml_document& document) {
    const pugi::xml_node section = Child(document, "hosts");
    SectionHostsChecker checker;
    const int loaded = checker.LoadConfig(section);
    HostsEntries expected;
    for (pugi::xml_node child = section.first_child(); child; child = child.next_sibling()) {
        const std::string domain = Value(child, "domain");
        const std::string ip = Value(child, "ip");
        if (!domain.empty() && !ip.empty() && expected.count(domain) == 0) {
            expected[domain] = ip;
        }
    }
    if (loaded != (section ? ConfigLoaded : HostsConfigMissing)) std::abort();
    if (checker.Entries() != expected) std::abort();
}

std::string ExpectedApplicationName(const pugi::xml_document& document, bool loaded) {
    const pugi::xml_node application =
        Child(Child(Child(document, "root"), "windows"), "application");
    if (!loaded || !application) {
        return "Brevant";
    }
    return Value(application, "name");
}

bool ExpectedValidName(const std::string& name) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const char kOthers[] = "0123456789+-.";
    if (name.empty() || name.size() > 63 || std::strchr(kLetters, name[0]) == nullptr) {
        return false;
    }
    for (const char c : name) {
        if (std::strchr(kLetters, c) == nullptr && std::strchr(kOthers, c) == nullptr) {
            return false;
        }
    }
    return true;
}

// "%s" gives the name and "%%" one percent sign, from the left; any other "%" stays.
std::string ExpectedFill(const std::string& text, const std::string& name) {
    std::string filled;
    std::size_t from = 0;
    for (std::size_t percent = text.find('%'); percent != std::string::npos;
         percent = text.find('%', from)) {
        filled += text.substr(from, percent - from);
        const std::string pair = text.substr(percent, 2);
        filled += pair == "%s" ? name : "%";
        from = percent + (pair == "%s" || pair == "%%" ? 2 : 1);
    }
    return filled + text.substr(std::min(from, text.size()));
}

// Where the template's only conversions are one "%s" and "%%", printf fills it as well.
void CheckFillAgainstPrintf(const std::string& text, const std::string& name) {
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
    if (text.find('\0') != std::string::npos || name.find('\0') != std::string::npos) return;
    std::vector<char> buffer(text.size() + name.size() + 1);
    std::snprintf(buffer.data(), buffer.size(), text.c_str(), name.c_str());
    if (FillTemplate(text, name) != buffer.data()) std::abort();
}

std::optional<RegistryRoot> ExpectedRoot(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const char* const names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
                                 "HKEY_USERS", "HKEY_CURRENT_CONFIG"};
    const RegistryRoot roots[] = {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser,
                                  RegistryRoot::LocalMachine, RegistryRoot::Users,
                                  RegistryRoot::CurrentConfig};
    for (int i = 0; i < 5; ++i) {
        if (name == names[i]) return roots[i];
    }
    return std::nullopt;
}

// Whether the template has a "%s" that the name fills.
bool UsesName(const std::string& text) {
    return ExpectedFill(text, "a") != ExpectedFill(text, "b");
}

void CheckSetupSection(const pugi::xml_document& document, const std::string& name,
                       const std::optional<std::string>& directory) {
    const pugi::xml_node section = Child(document, "setup");
    std::vector<SetupItem> items(1);  // a stale item every load must drop
    const SetupLoadResult result = LoadSetupItems(
        section,
        [&] {
            return SetupNames{directory, name};
        },
        items);

    const pugi::xml_node win = Child(section, "win");
    bool refused = !win;
    bool unresolved = false;
    std::vector<SetupItem> expected;
    for (pugi::xml_node element = win.first_child(); element && !refused;
         element = element.next_sibling()) {
        SetupItem item;
        item.rootName = Value(element, "key");
        const std::optional<RegistryRoot> root = ExpectedRoot(item.rootName);
        if (!root) {
            refused = true;
            break;
        }
        item.rootKey = *root;
        item.wtag = Value(element, "wtag");
        const bool filled =
            item.wtag == "setup" || item.wtag == "url" || item.wtag == "url_protocol";
        const std::string subKey = Value(element, "sub_key");
        const std::string data = item.wtag == "url_protocol" ? "" : Value(element, "data");
        item.subKey = filled ? ExpectedFill(subKey, name) : subKey;
        item.data = filled ? ExpectedFill(data, name) : data;
        item.valueName = item.wtag == "url_protocol" ? "URL Protocol" : "";
        if (filled && (UsesName(subKey) || UsesName(data)) && !ExpectedValidName(name)) {
            unresolved = true;
        }
        const bool inDirectory = Value(element, "current_path_enable") == "1";
        unresolved = unresolved || (inDirectory && !directory);
        const std::optional<std::string> prefix = inDirectory ? directory : std::nullopt;
        item.data = item.wtag == "setup" ? QuoteCommandLine(item.data, prefix)
                                         : prefix.value_or("") + item.data;
        expected.push_back(item);
    }
    const SetupLoadResult expectedResult =
        refused ? SetupRefused : (unresolved ? SetupUnresolved : SetupLoaded);
    if (result != expectedResult) std::abort();
    if (result != SetupLoaded) {
        if (!items.empty()) std::abort();
        return;
    }
    if (items.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const SetupItem& a = items[i];
        const SetupItem& b = expected[i];
        if (a.rootKey != b.rootKey || a.rootName != b.rootName || a.subKey != b.subKey ||
            a.valueName != b.valueName || a.data != b.data || a.wtag != b.wtag ||
            a.status != ItemUnchecked) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_buffer(data, size);

    CheckHostsSection(document);

    const std::string name = ApplicationNameFromDocument(document, loaded);
    if (name != ExpectedApplicationName(document, static_cast<bool>(loaded))) std::abort();
    if (IsValidApplicationName(name) != ExpectedValidName(name)) std::abort();

    // every attribute of the document as a template, filled with the name
    std::vector<pugi::xml_node> pending = {document};
    while (!pending.empty()) {
        const pugi::xml_node node = pending.back();
        pending.pop_back();
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            const std::string text = attribute.value();
            if (FillTemplate(text, name) != ExpectedFill(text, name)) std::abort();
            CheckFillAgainstPrintf(text, name);
        }
        for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
            pending.push_back(child);
        }
    }

    // the program's folder is unknown for odd sizes
    CheckSetupSection(document, name,
                      size % 2 == 0 ? std::optional<std::string>(kDirectory) : std::nullopt);
    return 0;
}
