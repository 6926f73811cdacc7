#include <windows.h>
#include <wininet.h>

#include <memory>

#include <gtest/gtest.h>

#include "machine_state.h"
#include "win_proxy_checker.h"
#include "wine_support.h"

namespace {

class WinProxyCheckerTest : public testing::Test {
protected:
    // the shared prefix is left with a direct connection, as a fresh one has it
    void TearDown() override { EXPECT_TRUE(StoreProxyFlags(PROXY_TYPE_DIRECT)); }

    const std::unique_ptr<RepairLog> log = CreateRepairLog("Brevant");
    WinProxyChecker checker{*log};
};

TEST_F(WinProxyCheckerTest, Check_ReportsWrong_WhenFlagsAskForProxy) {
    // Wine keeps only "proxy or not": direct with automatic detection (9) reads back as direct
    for (DWORD flags : {DWORD{PROXY_TYPE_PROXY}, DWORD{PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY}}) {
        ASSERT_TRUE(StoreProxyFlags(flags));
        EXPECT_EQ(checker.Check(), CheckWrong) << flags;
    }
}

TEST_F(WinProxyCheckerTest, Check_Passes_WhenConnectionIsDirect) {
    ASSERT_TRUE(StoreProxyFlags(PROXY_TYPE_DIRECT));
    EXPECT_EQ(checker.Check(), CheckCorrect);
}

TEST_F(WinProxyCheckerTest, Repair_StoresDirectConnection_WhenProxyWasSet) {
    ASSERT_TRUE(StoreProxyFlags(PROXY_TYPE_PROXY));
    ASSERT_EQ(checker.Check(), CheckWrong);

    // Wine refuses INTERNET_OPTION_REFRESH, so the repair reports failure there after storing
    EXPECT_EQ(checker.Repair(), RunsUnderWine() ? ProxyRepairFailed : Repaired);
    EXPECT_EQ(checker.Check(), CheckCorrect);
}

}  // namespace
