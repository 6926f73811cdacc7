#include "win_proxy_checker.h"

#include <windows.h>
#include <wininet.h>

#include <array>

static_assert(kProxyTypeDirect == PROXY_TYPE_DIRECT);

std::unique_ptr<ProxyChecker> CreateProxyChecker() { return std::make_unique<WinProxyChecker>(); }

int WinProxyChecker::Check() {
    INTERNET_PER_CONN_OPTIONW option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = nullptr;  // the LAN settings
    list.dwOptionCount = 1;
    list.dwOptionError = 0;
    list.pOptions = &option;
    DWORD size = sizeof(list);
    const bool read =
        InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size) != FALSE;
    return ProxyCheckCode(read, option.Value.dwValue);
}

int WinProxyChecker::Repair() {
    char bypass[] = "local";
    std::array<INTERNET_PER_CONN_OPTIONA, 2> options = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[0].Value.dwValue = PROXY_TYPE_DIRECT;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[1].Value.pszValue = bypass;

    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = nullptr;  // the LAN settings
    list.dwOptionCount = static_cast<DWORD>(options.size());
    list.dwOptionError = 0;
    list.pOptions = options.data();

    if (!InternetSetOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list))) {
        return ProxyRepairFailed;
    }
    if (!InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {
        return ProxyRepairFailed;
    }
    if (!InternetSetOptionW(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0)) {
        return ProxyRepairFailed;
    }
    return Repaired;
}
