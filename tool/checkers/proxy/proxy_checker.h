#pragma once

#include <cstdint>
#include <memory>

#include <pugixml.hpp>

#include "outcomes.h"
#include "repair_log.h"

// Makes sure the LAN Internet settings ask for a direct connection.
class ProxyChecker {
public:
    virtual ~ProxyChecker() = default;
    // There is nothing to configure: the section is ignored.
    virtual LoadCode LoadConfig(const pugi::xml_node& section);
    virtual CheckCode Check() = 0;
    virtual RepairResult Repair() = 0;
};

// The Windows implementation; its repairs are written ahead in log.
std::unique_ptr<ProxyChecker> CreateProxyChecker(RepairLog& log);

// WinINet's PROXY_TYPE_DIRECT, for code that does not see the platform headers.
constexpr std::uint32_t kProxyTypeDirect = 0x1;

// The check code for the LAN connection's type flags: CheckCorrect only for a direct connection and
// nothing else, CheckWrong otherwise, also when the flags could not be read.
CheckCode ProxyCheckCode(bool flagsRead, std::uint32_t flags);
