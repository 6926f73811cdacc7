#pragma once

#include <memory>

#include <pugixml.hpp>

// Makes sure the LAN Internet settings ask for a direct connection.
class ProxyChecker {
public:
    virtual ~ProxyChecker() = default;
    // There is nothing to configure: the section is ignored.
    virtual int LoadConfig(const pugi::xml_node& section);
    virtual int Check() = 0;
    virtual int Repair() = 0;
};

// The Windows implementation.
std::unique_ptr<ProxyChecker> CreateProxyChecker();
