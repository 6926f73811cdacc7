#pragma once

#include <windows.h>

#include <optional>
#include <string>

// A value under HKEY_CLASSES_ROOT: its type and its text up to the first zero.
struct ClassesValue {
    DWORD type = REG_NONE;
    std::string text;
};
// The value, or none when the key or the value is missing.
std::optional<ClassesValue> ReadClassesValue(const std::string& subKey,
                                             const std::string& valueName);
// Creates the key when needed; false when the value could not be written.
bool WriteClassesValue(const std::string& subKey, const std::string& valueName, DWORD type,
                       const std::string& text);

// Everything under HKEY_CLASSES_ROOT\subKey (its values with their types and bytes, its subkeys,
// recursively) as text, to tell whether anything in it changed; empty when the key is missing.
std::string DescribeClassesKey(const std::string& subKey);

// The LAN proxy type flags (PROXY_TYPE_*), read or stored and announced.
std::optional<unsigned long> ReadProxyFlags();
bool StoreProxyFlags(unsigned long flags);

// The machine state that a whole run of tool.exe reads and repairs: the hosts file and its backup,
// the URL-protocol registration under HKEY_CLASSES_ROOT\Brevant and the LAN proxy flags. Saved on
// construction and put back on destruction, so every test leaves the shared Wine prefix as it found
// it.
class MachineState {
public:
    MachineState();
    ~MachineState();
    MachineState(const MachineState&) = delete;
    MachineState& operator=(const MachineState&) = delete;

    static std::string HostsPath();
    static std::string HostsBackupPath();

    // hosts.ics holding only the canonical line of the product's local-service domain.
    static void SetCanonicalHosts();
    static void RemoveHosts();
    // The three registry values of the URL protocol, the command naming programDirectory.
    static void SetRegistration(const std::string& programDirectory);
    static void RemoveRegistration();
    static void SetDirectProxy();

private:
    bool hostsExisted = false;
    std::string hostsBytes;
    DWORD hostsAttributes = FILE_ATTRIBUTE_NORMAL;
    bool backupExisted = false;
    std::string backupBytes;
    bool registrationExisted = false;
    std::optional<ClassesValue> command, url, protocol;
    std::optional<unsigned long> proxyFlags;
};
