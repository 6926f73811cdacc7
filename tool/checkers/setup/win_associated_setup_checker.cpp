#include "win_associated_setup_checker.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

#include "utf.h"
#include "win_handle_owners.h"

namespace {

// A value that keeps growing while it is read is given up after this many tries.
constexpr int kReadAttempts = 8;

// in the order of RegistryRoot
const HKEY kPredefinedKeys[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                HKEY_USERS, HKEY_CURRENT_CONFIG};

// An item's texts as the wide registry calls take them.
struct WideItem {
    HKEY root = HKEY_CLASSES_ROOT;
    std::wstring subKey;
    std::wstring valueName;
    std::wstring data;
    // where data holds the program directory, in UTF-16 units
    std::size_t folderStart = 0;
    std::size_t folderLength = 0;
};

std::optional<WideItem> Widen(const SetupItem& item) {
    const DataParts parts = SplitAtFolder(item);
    const std::optional<std::wstring> subKey = Utf16FromUtf8Strict(item.subKey);
    const std::optional<std::wstring> valueName = Utf16FromUtf8Strict(item.valueName);
    const std::optional<std::wstring> before = Utf16FromUtf8Strict(parts.before);
    const std::optional<std::wstring> folder = Utf16FromUtf8Strict(parts.folder);
    const std::optional<std::wstring> after = Utf16FromUtf8Strict(parts.after);
    if (!subKey || !valueName || !before || !folder || !after) {
        return std::nullopt;
    }
    WideItem wide;
    wide.root = kPredefinedKeys[static_cast<int>(item.rootKey)];
    wide.subKey = *subKey;
    wide.valueName = *valueName;
    wide.data = *before + *folder + *after;
    wide.folderStart = before->size();
    wide.folderLength = folder->size();
    return wide;
}

// Whether a stored text is the item's data: exactly, but for the program directory, in which
// letter case is ignored as Windows ignores it in paths.
bool Matches(const std::wstring& stored, const WideItem& item) {
    if (stored.size() != item.data.size()) {
        return false;
    }
    const std::size_t folderEnd = item.folderStart + item.folderLength;
    return stored.compare(0, item.folderStart, item.data, 0, item.folderStart) == 0 &&
           stored.compare(folderEnd, std::wstring::npos, item.data, folderEnd,
                          std::wstring::npos) == 0 &&
           (item.folderLength == 0 ||
            CompareStringOrdinal(stored.data() + item.folderStart,
                                 static_cast<int>(item.folderLength),
                                 item.data.data() + item.folderStart,
                                 static_cast<int>(item.folderLength), TRUE) == CSTR_EQUAL);
}

// status, when given, receives the open's LSTATUS.
UniqueHkey OpenKey(HKEY root, const std::wstring& subKey, LONG* status = nullptr) {
    UniqueHkey key;
    const LONG opened = RegOpenKeyW(root, subKey.c_str(), key.put());
    if (status) {
        *status = opened;
    }
    if (opened != ERROR_SUCCESS) {
        key.release();  // nothing was opened, whatever the call left there
        return UniqueHkey();
    }
    return key;
}

// The value's text up to its first zero character, read at its real size whatever its type; none
// when it cannot be read.
std::optional<std::wstring> ReadValueText(HKEY key, const std::wstring& valueName) {
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        // room for a terminator the stored value may lack
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LONG read = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr,
                                           reinterpret_cast<BYTE*>(&text[0]), &got);
        if (read == ERROR_SUCCESS) {
            text.resize(got / sizeof(wchar_t));
            return text.substr(0, text.find(L'\0'));
        }
        if (read != ERROR_MORE_DATA) {
            return std::nullopt;
        }
        size = got;
    }
    return std::nullopt;
}

// What a key holds, for telling ours from another program's; none when it does not exist.
std::optional<RegistryKeyContents> ReadKeyContents(HKEY root, const std::string& path) {
    RegistryKeyContents contents;
    const std::optional<std::wstring> widePath = Utf16FromUtf8Strict(path);
    UniqueHkey key;
    const LONG opened = widePath ? RegOpenKeyExW(root, widePath->c_str(), 0, KEY_READ, key.put())
                                 : ERROR_INVALID_DATA;
    if (opened == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    if (opened != ERROR_SUCCESS) {
        key.release();  // nothing was opened, whatever the call left there
    }
    DWORD longestSubKey = 0;
    DWORD longestValueName = 0;
    if (!key ||
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, &longestSubKey, nullptr,
                         nullptr, &longestValueName, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        contents.unreadable = true;
        return contents;
    }
    // a name that does not fit what the key reported, or does not convert, is not one of ours;
    // each subkey's name, then each value's name, is handed to take
    std::wstring name((std::max)(longestSubKey, longestValueName) + 1, L'\0');
    const auto each = [&](auto enumerate, auto take) {
        for (DWORD index = 0; !contents.unreadable; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            const LONG got =
                enumerate(key.get(), index, &name[0], &length, nullptr, nullptr, nullptr, nullptr);
            if (got == ERROR_NO_MORE_ITEMS) {
                return;
            }
            const std::wstring wide = name.substr(0, length);
            const std::optional<std::string> narrow =
                got == ERROR_SUCCESS ? Utf8FromUtf16Strict(wide) : std::nullopt;
            contents.unreadable = !narrow;
            if (narrow) {
                take(wide, *narrow);
            }
        }
    };
    each(RegEnumKeyExW, [&](const std::wstring&, const std::string& subKey) {
        contents.subKeys.push_back(subKey);
    });
    each(RegEnumValueW, [&](const std::wstring& wide, const std::string& valueName) {
        const std::optional<std::wstring> text = ReadValueText(key.get(), wide);
        contents.values.emplace_back(valueName, text ? Utf8FromUtf16Strict(*text) : std::nullopt);
    });
    return contents;
}

// "<root>\<subkey>", as the repair log names a key.
std::string LoggedKeyName(const SetupItem& item) {
    return std::string(RootKeyName(item.rootKey)) + "\\" + item.subKey;
}

// "registry <key> (default)" or "registry <key> \"<value name>\"", as the repair log names a value.
std::string LoggedValueName(const SetupItem& item) {
    const std::string key = "registry " + LoggedKeyName(item);
    return item.valueName.empty() ? key + " (default)" : key + " " + LoggedValue(item.valueName);
}

// A stored text as the repair log shows it: "absent" for none, "unreadable" for one that is not
// Unicode text.
std::string LoggedStoredValue(const std::optional<std::wstring>& stored) {
    if (!stored) {
        return LoggedValue(std::nullopt);
    }
    const std::optional<std::string> text = Utf8FromUtf16Strict(*stored);
    return text ? LoggedValue(text) : "unreadable";
}

// The write's LSTATUS.
LONG WriteValue(HKEY key, const WideItem& item) {
    const auto* bytes = reinterpret_cast<const BYTE*>(item.data.c_str());
    return RegSetValueExW(key, item.valueName.c_str(), 0, REG_SZ, bytes,
                          static_cast<DWORD>((item.data.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker(const SetupNames& names,
                                                                     RepairLog& log) {
    return std::make_unique<WinAssociatedSetupChecker>(names, log);
}

LoadCode WinAssociatedSetupChecker::LoadConfig(const pugi::xml_node& section) {
    const SetupLoadResult result = LoadSetupItems(section, names, items);
    unresolved = result == SetupUnresolved;
    return result == SetupLoaded ? ConfigLoaded : SetupConfigRefused;
}

CheckCode WinAssociatedSetupChecker::Check() {
    refused = false;
    if (unresolved) {
        return CheckInternalError;
    }
    // nothing is taken over from a file type, not even by reporting its key as correct
    const std::string& applicationName = names.applicationName;
    if (!items.empty() && IsValidApplicationName(applicationName)) {
        std::map<std::string, RegistryKeyContents> keys;
        for (const std::string& path : SetupKeyPaths(items, applicationName)) {
            if (std::optional<RegistryKeyContents> contents =
                    ReadKeyContents(HKEY_CLASSES_ROOT, path)) {
                keys.emplace(path, std::move(*contents));
            }
        }
        if (IsAnotherProgramsClass(items, applicationName, keys)) {
            refused = true;
            return CheckInternalError;
        }
    }
    CheckCode result = CheckCorrect;
    for (SetupItem& item : items) {
        const std::optional<WideItem> wide = Widen(item);
        if (!wide) {
            refused = true;
            return CheckInternalError;
        }
        UniqueHkey key = OpenKey(wide->root, wide->subKey);
        if (!key) {
            item.status = ItemKeyMissing;
            result = CheckWrong;
            continue;
        }
        const std::optional<std::wstring> stored = ReadValueText(key.get(), wide->valueName);
        key.reset();
        // only the text counts, whatever the value's type
        if (!stored || !Matches(*stored, *wide)) {
            item.status = ItemValueMismatch;
            result = CheckWrong;
        } else {
            item.status = ItemOk;
        }
    }
    return result;
}

RepairResult WinAssociatedSetupChecker::Repair() {
    const auto failed = [](std::string step, unsigned long error) {
        return RepairResult{SetupRepairFailed, std::move(step), error};
    };
    if (unresolved || refused) {
        return failed("refused by the check", 0);
    }
    for (const SetupItem& item : items) {
        if (item.status == ItemOk) {
            continue;
        }
        const std::optional<WideItem> wide = Widen(item);
        if (!wide) {
            return failed("convert " + LoggedKeyName(item), ERROR_NO_UNICODE_TRANSLATION);
        }
        if (item.status != ItemKeyMissing && item.status != ItemValueMismatch) {
            return failed("unchecked " + LoggedKeyName(item), 0);
        }
        // The line with the old value is stored before anything changes: a change whose old value
        // could not be written down is not made. A key the check found missing may have appeared
        // since; its value is then read like any other.
        LONG opened = ERROR_SUCCESS;
        UniqueHkey key = OpenKey(wide->root, wide->subKey, &opened);
        if (!key && item.status == ItemValueMismatch) {
            return failed("open key " + LoggedKeyName(item), opened);
        }
        const std::optional<std::wstring> old =
            key ? ReadValueText(key.get(), wide->valueName) : std::nullopt;
        if (const unsigned long error = log->Append(ChangeEvent(
                LoggedValueName(item), LoggedStoredValue(old), LoggedValue(item.data)))) {
            return failed("log " + LoggedValueName(item), error);
        }
        if (!key) {
            opened = RegCreateKeyW(wide->root, wide->subKey.c_str(), key.put());
            if (opened != ERROR_SUCCESS) {
                key.release();
                return failed("create key " + LoggedKeyName(item), opened);
            }
            if (!key) {
                key = OpenKey(wide->root, wide->subKey, &opened);
            }
            if (!key) {
                return failed("open key " + LoggedKeyName(item), opened);
            }
        }
        if (const LONG written = WriteValue(key.get(), *wide); written != ERROR_SUCCESS) {
            return failed("write " + LoggedValueName(item), written);
        }
    }
    return RepairResult();
}
