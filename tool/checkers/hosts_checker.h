#pragma once

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

// Never returns null.
std::unique_ptr<HostsChecker> CreateHostsChecker();
