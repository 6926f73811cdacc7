#include "win_proxy_checker.h"

#include <windows.h>
#include <wininet.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>

#include "utf.h"
#include "win_handle_owners.h"
#include "win_system_library.h"

static_assert(kProxyTypeDirect == PROXY_TYPE_DIRECT);

namespace {

const char kDirectBypass[] = "local";

// The LAN settings a repair replaces, as the repair log shows them.
struct LoggedSettings {
    std::string flags = "unknown";
    std::string bypass = "unknown";
    bool direct = false;
    bool localBypass = false;
};

std::string LoggedFlags(DWORD flags) {
    char text[16] = {};
    std::snprintf(text, sizeof text, "0x%lx", static_cast<unsigned long>(flags));
    return text;
}

// The LAN settings' list of per-connection options, over options.
template <typename List, typename Option, std::size_t Count>
List LanOptionList(std::array<Option, Count>& options) {
    List list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = nullptr;  // the LAN settings
    list.dwOptionCount = static_cast<DWORD>(Count);
    list.dwOptionError = 0;
    list.pOptions = options.data();
    return list;
}

// Reads the LAN settings' values of the options named in options.
template <std::size_t Count>
bool QueryLanOptions(std::array<INTERNET_PER_CONN_OPTIONW, Count>& options) {
    auto list = LanOptionList<INTERNET_PER_CONN_OPTION_LISTW>(options);
    DWORD size = sizeof(list);
    const auto queryOption = SYSTEM_FUNCTION(kWininet, InternetQueryOptionW);
    return queryOption &&
           queryOption(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size) != FALSE;
}

LoggedSettings ReadLanSettings() {
    std::array<INTERNET_PER_CONN_OPTIONW, 2> options = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    LoggedSettings settings;
    if (!QueryLanOptions(options)) {
        return settings;
    }
    const UniqueGlobalText bypass(options[1].Value.pszValue);
    settings.flags = LoggedFlags(options[0].Value.dwValue);
    settings.direct = options[0].Value.dwValue == PROXY_TYPE_DIRECT;
    std::optional<std::string> bypassText;
    if (bypass) {
        bypassText = Utf8FromUtf16Strict(bypass.get());
        if (!bypassText) {
            return settings;
        }
    }
    settings.bypass = LoggedValue(bypassText);
    settings.localBypass = bypassText == kDirectBypass;
    return settings;
}

}  // namespace

std::unique_ptr<ProxyChecker> CreateProxyChecker(RepairLog& log) {
    return std::make_unique<WinProxyChecker>(log);
}

CheckCode WinProxyChecker::Check() {
    std::array<INTERNET_PER_CONN_OPTIONW, 1> flags = {};
    flags[0].dwOption = INTERNET_PER_CONN_FLAGS;
    const bool read = QueryLanOptions(flags);
    return ProxyCheckCode(read, flags[0].Value.dwValue);
}

RepairResult WinProxyChecker::Repair() {
    const auto failed = [](const char* step, unsigned long error) {
        return RepairResult{ProxyRepairFailed, step, error};
    };
    // read before anything is written: the repair log keeps what was there
    const LoggedSettings before = ReadLanSettings();
    std::string bypass = kDirectBypass;
    std::array<INTERNET_PER_CONN_OPTIONA, 2> options = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[0].Value.dwValue = PROXY_TYPE_DIRECT;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[1].Value.pszValue = &bypass[0];

    auto list = LanOptionList<INTERNET_PER_CONN_OPTION_LISTA>(options);

    const auto setOptionA = SYSTEM_FUNCTION(kWininet, InternetSetOptionA);
    const auto setOption = SYSTEM_FUNCTION(kWininet, InternetSetOptionW);
    if (!setOptionA || !setOption) {
        return failed("load wininet", GetLastError());
    }
    // the lines with the old values are stored first: settings whose old values could not be
    // written down are not changed
    unsigned long error = 0;
    if (!before.direct && (error = log->Append(ChangeEvent("proxy LAN type flags", before.flags,
                                                           LoggedFlags(PROXY_TYPE_DIRECT)))) != 0) {
        return failed("log proxy LAN type flags", error);
    }
    if (!before.localBypass &&
        (error = log->Append(ChangeEvent("proxy LAN bypass list", before.bypass,
                                         LoggedValue(kDirectBypass)))) != 0) {
        return failed("log proxy LAN bypass list", error);
    }
    if (!setOptionA(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list))) {
        return failed("set proxy options", GetLastError());
    }
    if (!setOption(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0)) {
        return failed("announce settings change", GetLastError());
    }
    if (!setOption(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0)) {
        return failed("refresh settings", GetLastError());
    }
    return RepairResult();
}
