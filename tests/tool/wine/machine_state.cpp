#include "machine_state.h"

#include <windows.h>
// after windows.h, which it needs
#include <wininet.h>

#include "wine_support.h"

namespace {

const char kScheme[] = "Brevant";
const char kCommandKey[] = "Brevant\\shell\\open\\command";

bool KeyExists(HKEY root, const char* subKey) {
    HKEY raw = nullptr;
    if (RegOpenKeyA(root, subKey, &raw) != ERROR_SUCCESS) {
        return false;
    }
    UniqueHkey key(raw);
    return true;
}

void SetValue(const char* subKey, const char* valueName, const std::string& data) {
    HKEY raw = nullptr;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, subKey, &raw) != ERROR_SUCCESS) {
        return;
    }
    UniqueHkey key(raw);
    RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
}

bool QueryProxyFlags(unsigned long* flags) {
    INTERNET_PER_CONN_OPTIONA option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 1;
    list.pOptions = &option;
    DWORD size = sizeof list;
    if (!InternetQueryOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
        return false;
    }
    *flags = option.Value.dwValue;
    return true;
}

void StoreProxyFlags(unsigned long flags) {
    INTERNET_PER_CONN_OPTIONA option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    option.Value.dwValue = flags;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof list;
    list.dwOptionCount = 1;
    list.pOptions = &option;
    InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof list);
    InternetSetOptionA(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
}

}  // namespace

std::string MachineState::HostsPath() {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\drivers\\etc\\hosts.ics";
}

std::string MachineState::HostsBackupPath() { return HostsPath() + ".bak"; }

std::string MachineState::RegistryValue(const std::string& subKey, const char* valueName,
                                        bool* found) {
    *found = false;
    HKEY raw = nullptr;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, subKey.c_str(), &raw) != ERROR_SUCCESS) {
        return std::string();
    }
    UniqueHkey key(raw);
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(data),
                         &size) != ERROR_SUCCESS) {
        return std::string();
    }
    *found = true;
    return data;
}

MachineState::MachineState() {
    const std::string hosts = HostsPath();
    hostsExisted = FileExists(hosts);
    if (hostsExisted) {
        hostsBytes = ReadFileBytes(hosts);
    }
    backupExisted = FileExists(HostsBackupPath());
    if (backupExisted) {
        backupBytes = ReadFileBytes(HostsBackupPath());
    }
    registrationExisted = KeyExists(HKEY_CLASSES_ROOT, kScheme);
    commandValue = RegistryValue(kCommandKey, nullptr, &commandFound);
    urlValue = RegistryValue(kScheme, nullptr, &urlFound);
    protocolValue = RegistryValue(kScheme, "URL Protocol", &protocolFound);
    proxyFlagsRead = QueryProxyFlags(&proxyFlags);
}

MachineState::~MachineState() {
    // a test may have left the file hidden, which a rewrite would not replace
    SetFileAttributesA(HostsPath().c_str(), FILE_ATTRIBUTE_NORMAL);
    if (hostsExisted) {
        WriteFileBytes(HostsPath(), hostsBytes);
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
        HKEY raw = nullptr;
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, kScheme, &raw) == ERROR_SUCCESS) {
            UniqueHkey key(raw);
        }
        if (commandFound) SetValue(kCommandKey, nullptr, commandValue);
        if (urlFound) SetValue(kScheme, nullptr, urlValue);
        if (protocolFound) SetValue(kScheme, "URL Protocol", protocolValue);
    }
    if (proxyFlagsRead) {
        StoreProxyFlags(proxyFlags);
    }
}

void MachineState::SetCanonicalHosts() {
    WriteFileBytes(HostsPath(), "127.0.0.1            localhost.brevant.io\r\n");
}

void MachineState::RemoveHosts() { DeleteFileA(HostsPath().c_str()); }

void MachineState::SetRegistration(const std::string& programDirectory) {
    SetValue(kCommandKey, nullptr, "\"" + programDirectory + "Brevant-watch.exe\" \"%1\"");
    SetValue(kScheme, nullptr, "URL:Brevant Protocol");
    SetValue(kScheme, "URL Protocol", "");
}

void MachineState::RemoveRegistration() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme); }

void MachineState::SetDirectProxy() { StoreProxyFlags(PROXY_TYPE_DIRECT); }

void MachineState::SetProxyFlags(unsigned long flags) { StoreProxyFlags(flags); }
