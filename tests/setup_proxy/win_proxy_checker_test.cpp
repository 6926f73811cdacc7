#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include "win_proxy_checker.h"

namespace {

bool RunsUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool StoreFlags(DWORD flags) {
    INTERNET_PER_CONN_OPTIONW option = {};
    option.dwOption = INTERNET_PER_CONN_FLAGS;
    option.Value.dwValue = flags;
    INTERNET_PER_CONN_OPTION_LISTW list = {};
    list.dwSize = sizeof(list);
    list.dwOptionCount = 1;
    list.pOptions = &option;
    return InternetSetOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list,
                              sizeof(list)) &&
           InternetSetOptionW(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
}

class WinProxyCheckerTest : public testing::Test {
protected:
    // the shared prefix is left with a direct connection, as a fresh one has it
    void TearDown() override { EXPECT_TRUE(StoreFlags(PROXY_TYPE_DIRECT)); }

    WinProxyChecker checker;
};

TEST_F(WinProxyCheckerTest, Check_ReportsWrong_WhenFlagsAskForProxy) {
    // Wine keeps only "proxy or not": direct with automatic detection (9) reads back as direct
    for (DWORD flags : {DWORD{PROXY_TYPE_PROXY}, DWORD{PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY}}) {
        ASSERT_TRUE(StoreFlags(flags));
        EXPECT_EQ(checker.Check(), CheckWrong) << flags;
    }
}

TEST_F(WinProxyCheckerTest, Check_Passes_WhenConnectionIsDirect) {
    ASSERT_TRUE(StoreFlags(PROXY_TYPE_DIRECT));
    EXPECT_EQ(checker.Check(), CheckCorrect);
}

TEST_F(WinProxyCheckerTest, Repair_StoresDirectConnection_WhenProxyWasSet) {
    ASSERT_TRUE(StoreFlags(PROXY_TYPE_PROXY));
    ASSERT_EQ(checker.Check(), CheckWrong);

    // Wine refuses INTERNET_OPTION_REFRESH, so the repair reports failure there after storing
    EXPECT_EQ(checker.Repair(), RunsUnderWine() ? ProxyRepairFailed : Repaired);
    EXPECT_EQ(checker.Check(), CheckCorrect);
}

}  // namespace
