#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <pugixml.hpp>

// Makes sure the hosts file maps every configured host name to its configured address.
class HostsChecker {
public:
    virtual ~HostsChecker() = default;
    virtual int LoadConfig(const pugi::xml_node& hostsElement);
    virtual int Check();
    virtual int Repair() = 0;
    virtual std::string GetHostsFilePath();
    virtual int BuildHostsContent();
    virtual bool FixHostsLine(std::string& line, const std::map<std::string, std::string>& entries,
                              std::map<std::string, bool>& seen);
    virtual std::string MakeHostsLine(const std::string& hostName, const std::string& address);

protected:
    // std::string compares like memcmp, so the map orders names byte-wise, bytes unsigned
    std::map<std::string, std::string> entries;
    std::string repairedContent;
};

// LoadConfig: the section was accepted, or no section was passed.
constexpr int kHostsConfigLoaded = 0;
constexpr int kHostsConfigMissing = 2;
// Check: right (or nothing configured), wrong and repairable, or the file could not be read whole
// or is not byte text, in which case it must be left alone.
constexpr int kHostsCheckRight = 0;
constexpr int kHostsCheckWrong = 1;
constexpr int kHostsCheckInternalError = 2;
// Repair: the file now holds the repaired text, or it was left as it was.
constexpr int kHostsRepaired = 0;
constexpr int kHostsRepairFailed = 3;

// The Windows system directory without a trailing separator; empty when it cannot be had.
std::string SystemDirectory();

// The hosts file under systemDirectory, or empty when there is no directory or the joined path
// would not fit a 260-byte path buffer with its terminator.
std::string HostsFilePath(const std::string& systemDirectory);

// Hands text to write in pieces with every line feed expanded to CR LF, so the written bytes do not
// depend on the platform's text mode. Stops and returns false at the first piece write refuses.
bool WriteWithCrLf(const std::string& text,
                   const std::function<bool(const char* data, std::size_t size)>& write);

// Never returns null.
std::unique_ptr<HostsChecker> CreateHostsChecker();
