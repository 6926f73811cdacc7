#include "win_associated_setup_checker.h"

#include <cstring>

namespace {

// Check and repair codes (see the report's result cells).
constexpr int kCheckOk = 0;
constexpr int kCheckWrong = 1;
constexpr int kCheckInternalError = 2;
constexpr int kRepairOk = 0;
constexpr int kRepairFailed = 2;

constexpr DWORD kPathBufferSize = MAX_PATH;
constexpr DWORD kValueBufferSize = 260;

HKEY PredefinedKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentUser:
            return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RegistryRoot::Users:
            return HKEY_USERS;
        case RegistryRoot::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CLASSES_ROOT;
}

UniqueHkey OpenKey(const SetupItem& item) {
    HKEY key = nullptr;
    if (RegOpenKeyA(PredefinedKey(item.rootKey), item.subKey.c_str(), &key) != ERROR_SUCCESS) {
        return nullptr;
    }
    return UniqueHkey(key);
}

// The program directory; none when the path has no backslash or may have been cut short.
std::optional<std::string> ProgramDirectory() {
    char path[kPathBufferSize] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, kPathBufferSize - 1);
    if (length == 0 || length >= kPathBufferSize - 1) {
        return std::nullopt;
    }
    return ProgramDirectoryOf(std::string(path, length));
}

bool WriteValue(HKEY key, const SetupItem& item) {
    const auto* bytes = reinterpret_cast<const BYTE*>(item.data.c_str());
    return RegSetValueExA(key, item.valueName.c_str(), 0, REG_SZ, bytes,
                          static_cast<DWORD>(item.data.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker() {
    return std::make_unique<WinAssociatedSetupChecker>();
}

int WinAssociatedSetupChecker::LoadConfig(const pugi::xml_node& section) {
    const SetupLoadResult result = LoadSetupItems(
        section,
        [] {
            SetupNames names;
            names.programDirectory = ProgramDirectory();
            // without the directory the name file is unknown too: items that need the name fail
            if (names.programDirectory) {
                names.applicationName = ReadApplicationName(*names.programDirectory + "name.xml");
            }
            return names;
        },
        items);
    unresolved = result == SetupUnresolved;
    return result == SetupLoaded ? SetupLoaded : SetupRefused;
}

int WinAssociatedSetupChecker::Check() {
    if (unresolved) {
        return kCheckInternalError;
    }
    int result = kCheckOk;
    for (SetupItem& item : items) {
        UniqueHkey key = OpenKey(item);
        if (!key) {
            item.status = ItemKeyMissing;
            result = kCheckWrong;
            continue;
        }
        char buffer[kValueBufferSize] = {};
        DWORD size = kValueBufferSize;
        DWORD type = REG_NONE;
        const LONG read = RegQueryValueExA(key.get(), item.valueName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer), &size);
        key.reset();
        // only the text counts, whatever the value's type
        if (read != ERROR_SUCCESS ||
            item.data != std::string(buffer, strnlen(buffer, kValueBufferSize))) {
            item.status = ItemValueMismatch;
            result = kCheckWrong;
        } else {
            item.status = ItemOk;
        }
    }
    return result;
}

int WinAssociatedSetupChecker::Repair() {
    if (unresolved) {
        return kRepairFailed;
    }
    for (const SetupItem& item : items) {
        UniqueHkey key;
        switch (item.status) {
            case ItemOk:
                continue;
            case ItemKeyMissing: {
                HKEY created = nullptr;
                if (RegCreateKeyA(PredefinedKey(item.rootKey), item.subKey.c_str(), &created) !=
                    ERROR_SUCCESS) {
                    return kRepairFailed;
                }
                key.reset(created);
                if (!key) {
                    key = OpenKey(item);
                }
                break;
            }
            case ItemValueMismatch:
                key = OpenKey(item);
                break;
            default:
                return kRepairFailed;
        }
        if (!key || !WriteValue(key.get(), item)) {
            return kRepairFailed;
        }
    }
    return kRepairOk;
}
