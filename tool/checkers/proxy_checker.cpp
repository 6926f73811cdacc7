#include "proxy_checker.h"

int ProxyChecker::LoadConfig(const pugi::xml_node& /*section*/) { return ConfigLoaded; }

int ProxyCheckCode(bool flagsRead, std::uint32_t flags) {
    return flagsRead && flags == kProxyTypeDirect ? CheckCorrect : CheckWrong;
}
