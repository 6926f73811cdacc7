#include "associated_setup_checker.h"

#include <array>
#include <cctype>
#include <utility>

namespace {

const char kDefaultApplicationName[] = "Brevant";
const char kUrlProtocolValueName[] = "URL Protocol";

// Like FillTemplate; also tells whether a "%s" was there to take the name.
std::string Fill(const std::string& text, const std::string& applicationName, bool& usedName) {
    std::string filled;
    filled.reserve(text.size() + applicationName.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next == 's') {
            filled += applicationName;
            usedName = true;
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

}  // namespace

std::optional<RegistryRoot> RootKeyFromName(const std::string& name) {
    static const std::array<std::pair<const char*, RegistryRoot>, 5> kRoots = {{
        {"HKEY_CLASSES_ROOT", RegistryRoot::ClassesRoot},
        {"HKEY_CURRENT_USER", RegistryRoot::CurrentUser},
        {"HKEY_LOCAL_MACHINE", RegistryRoot::LocalMachine},
        {"HKEY_USERS", RegistryRoot::Users},
        {"HKEY_CURRENT_CONFIG", RegistryRoot::CurrentConfig},
    }};
    std::string upper = name;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const auto& [rootName, root] : kRoots) {
        if (upper == rootName) {
            return root;
        }
    }
    return std::nullopt;
}

std::string FillTemplate(const std::string& text, const std::string& applicationName) {
    bool usedName = false;
    return Fill(text, applicationName, usedName);
}

std::optional<std::string> ProgramDirectoryOf(const std::string& programPath) {
    const std::size_t cut = programPath.rfind('\\');
    if (cut == std::string::npos) {
        return std::nullopt;
    }
    return programPath.substr(0, cut + 1);
}

std::string ReadApplicationName(const std::string& path) {
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) {
        return kDefaultApplicationName;
    }
    const pugi::xml_node application = document.child("root").child("windows").child("application");
    if (!application) {
        return kDefaultApplicationName;
    }
    return application.attribute("name").value();
}

SetupLoadResult LoadSetupItems(const pugi::xml_node& section,
                               const std::function<SetupNames()>& resolveNames,
                               std::vector<SetupItem>& items) {
    items.clear();
    if (!section) {
        return SetupRefused;
    }
    const pugi::xml_node win = section.child("win");
    if (!win) {
        return SetupRefused;
    }
    const SetupNames names = resolveNames();
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
            item.subKey = Fill(element.attribute("sub_key").value(), name, usedName);
            item.data = Fill(element.attribute("data").value(), name, usedName);
        } else if (item.wtag == "url_protocol") {
            item.subKey = Fill(element.attribute("sub_key").value(), name, usedName);
            item.valueName = kUrlProtocolValueName;
        } else {
            item.subKey = element.attribute("sub_key").value();
            item.data = element.attribute("data").value();
        }
        // an empty name would turn the key path into the root itself or a path from it
        if (usedName && name.empty()) {
            unresolved = true;
        }

        if (std::string(element.attribute("current_path_enable").value()) == "1") {
            if (names.programDirectory) {
                item.data = *names.programDirectory + item.data;
            } else {
                unresolved = true;
            }
        }
        item.status = ItemUnchecked;
        items.push_back(std::move(item));
    }
    if (unresolved) {
        items.clear();
        return SetupUnresolved;
    }
    return SetupLoaded;
}
