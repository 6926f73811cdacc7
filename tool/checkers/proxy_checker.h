#pragma once

#include <cstdint>
#include <memory>

#include <pugixml.hpp>

#include "outcomes.h"

// Makes sure the LAN Internet settings ask for a direct connection.
class ProxyChecker : public RepairFailureRecord {
public:
    virtual ~ProxyChecker() = default;
    // There is nothing to configure: the section is ignored.
    virtual int LoadConfig(const pugi::xml_node& section);
    virtual int Check() = 0;
    virtual int Repair() = 0;
};

// The Windows implementation.
std::unique_ptr<ProxyChecker> CreateProxyChecker();

// WinINet's PROXY_TYPE_DIRECT, for code that does not see the platform headers.
constexpr std::uint32_t kProxyTypeDirect = 0x1;

// The check code for the LAN connection's type flags: CheckCorrect only for a direct connection and
// nothing else, CheckWrong otherwise, also when the flags could not be read.
int ProxyCheckCode(bool flagsRead, std::uint32_t flags);
