#include "machine_state.h"

// after windows.h, which it needs
#include <wininet.h>

#include <vector>

#include "wine_support.h"

namespace {

const char kScheme[] = "Brevant";
const char kCommandKey[] = "Brevant\\shell\\open\\command";

bool KeyExists(HKEY root, const char* subKey) {
    UniqueHkey key;
    if (RegOpenKeyA(root, subKey, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    return true;
}

void Restore(const char* subKey, const char* valueName, const std::optional<ClassesValue>& value) {
    if (value) {
        WriteClassesValue(subKey, valueName, value->type, value->text);
    }
}

bool ProxyOption(bool store, unsigned long& flags) {
    INTERNET_PER_CONN_OPTIONA option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    option.Value.dwValue = flags;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 1;
    list.pOptions = &option;
    DWORD size = sizeof list;
    if (store) {
        return InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, size) &&
               InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    }
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
        return false;
    }
    flags = option.Value.dwValue;
    return true;
}

}  // namespace

std::string DescribeClassesKey(const std::string& subKey) {
    UniqueHkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return std::string();
    }
    std::string description = "[" + subKey + "]\n";
    char name[16384];
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        if (RegEnumValueA(key.get(), index, name, &nameLength, nullptr, &type, data.data(),
                          &size) != ERROR_SUCCESS) {
            break;
        }
        description += std::string(name, nameLength) + " " + std::to_string(type) + " " +
                       std::string(data.begin(), data.begin() + size) + "\n";
    }
    std::vector<std::string> subKeys;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = sizeof name;
        if (RegEnumKeyExA(key.get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        subKeys.emplace_back(name, nameLength);
    }
    for (const std::string& child : subKeys) {
        description += DescribeClassesKey(subKey + "\\" + child);
    }
    return description;
}

std::optional<ClassesValue> ReadClassesValue(const std::string& subKey,
                                             const std::string& valueName) {
    UniqueHkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<char> buffer(4096, '\0');
    DWORD size = static_cast<DWORD>(buffer.size() - 1);
    ClassesValue value;
    if (RegQueryValueExA(key.get(), valueName.c_str(), nullptr, &value.type,
                         reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.text = buffer.data();
    return value;
}

bool WriteClassesValue(const std::string& subKey, const std::string& valueName, DWORD type,
                       const std::string& text) {
    UniqueHkey key;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, subKey.c_str(), key.put()) != ERROR_SUCCESS) {
        return false;
    }
    return RegSetValueExA(key.get(), valueName.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

std::optional<unsigned long> ReadProxyFlags() {
    unsigned long flags = 0;
    return ProxyOption(false, flags) ? std::optional<unsigned long>(flags) : std::nullopt;
}

bool StoreProxyFlags(unsigned long flags) { return ProxyOption(true, flags); }

std::string MachineState::HostsPath() {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\drivers\\etc\\hosts.ics";
}

std::string MachineState::HostsBackupPath() { return HostsPath() + ".bak"; }

MachineState::MachineState() {
    const std::string hosts = HostsPath();
    hostsExisted = FileExists(hosts);
    if (hostsExisted) {
        hostsBytes = ReadFileBytes(hosts);
        hostsAttributes = GetFileAttributesA(hosts.c_str());
    }
    backupExisted = FileExists(HostsBackupPath());
    if (backupExisted) {
        backupBytes = ReadFileBytes(HostsBackupPath());
    }
    registrationExisted = KeyExists(HKEY_CLASSES_ROOT, kScheme);
    command = ReadClassesValue(kCommandKey, "");
    url = ReadClassesValue(kScheme, "");
    protocol = ReadClassesValue(kScheme, "URL Protocol");
    proxyFlags = ReadProxyFlags();
}

MachineState::~MachineState() {
    // a test may have left the file hidden, which a rewrite would not replace
    SetFileAttributesA(HostsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    if (hostsExisted) {
        WriteFileBytes(HostsPath(), hostsBytes);
        SetFileAttributesA(HostsPath().c_str(), hostsAttributes);
    } else {
        RemoveHosts();
    }
    // a test may have put a folder in the backup's place
    DeleteTree(HostsBackupPath());
    if (backupExisted) {
        WriteFileBytes(HostsBackupPath(), backupBytes);
    }
    RemoveRegistration();
    if (registrationExisted) {
        // the scheme's key again, then its values
        UniqueHkey key;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, kScheme, key.put()) != ERROR_SUCCESS) {
            key.release();
        }
        Restore(kCommandKey, "", command);
        Restore(kScheme, "", url);
        Restore(kScheme, "URL Protocol", protocol);
    }
    if (proxyFlags) {
        StoreProxyFlags(*proxyFlags);
    }
}

void MachineState::SetCanonicalHosts() {
    WriteFileBytes(HostsPath(), "127.0.0.1            localhost.brevant.io\r\n");
}

void MachineState::RemoveHosts() { DeleteFileA(HostsPath().c_str()); }

void MachineState::SetRegistration(const std::string& programDirectory) {
    WriteClassesValue(kCommandKey, "", REG_SZ,
                      "\"" + programDirectory + "Brevant-watch.exe\" \"%1\"");
    WriteClassesValue(kScheme, "", REG_SZ, "URL:Brevant Protocol");
    WriteClassesValue(kScheme, "URL Protocol", REG_SZ, "");
}

void MachineState::RemoveRegistration() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme); }

void MachineState::SetDirectProxy() { StoreProxyFlags(PROXY_TYPE_DIRECT); }
