#pragma once

#include <string>

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
    // LAN proxy type flags (PROXY_TYPE_*).
    static void SetProxyFlags(unsigned long flags);
    static std::string RegistryValue(const std::string& subKey, const char* valueName, bool* found);

private:
    bool hostsExisted = false;
    std::string hostsBytes;
    bool backupExisted = false;
    std::string backupBytes;
    bool registrationExisted = false;
    std::string commandValue, urlValue, protocolValue;
    bool commandFound = false, urlFound = false, protocolFound = false;
    unsigned long proxyFlags = 0;
    bool proxyFlagsRead = false;
};
