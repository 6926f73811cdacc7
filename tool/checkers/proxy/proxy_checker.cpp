#include "proxy_checker.h"

LoadCode ProxyChecker::LoadConfig(const pugi::xml_node& /*section*/) { return ConfigLoaded; }

CheckCode ProxyCheckCode(bool flagsRead, std::uint32_t flags) {
    return flagsRead && flags == kProxyTypeDirect ? CheckCorrect : CheckWrong;
}
