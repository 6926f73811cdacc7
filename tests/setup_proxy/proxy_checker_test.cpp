#include <cstdint>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "proxy_checker.h"

namespace {

TEST(ProxyCheckCodeTest, ProxyCheckCode_AcceptsOnlyDirectAlone_ForTypeFlags) {
    struct Case {
        bool read;
        std::uint32_t flags;
        int expected;
    };
    for (const Case& c : {
             Case{true, 0x1, CheckCorrect},  // direct
             Case{true, 0x2, CheckWrong},    // proxy
             Case{true, 0x3, CheckWrong},    // direct and proxy
             Case{true, 0x5, CheckWrong},    // direct and configuration script
             Case{true, 0x9, CheckWrong},    // direct and automatic detection
             Case{true, 0x0, CheckWrong},    // nothing
             Case{false, 0x1, CheckWrong},   // the query failed
         }) {
        EXPECT_EQ(ProxyCheckCode(c.read, c.flags), c.expected) << c.read << " " << c.flags;
    }
}

class FixedProxyChecker : public ProxyChecker {
public:
    CheckCode Check() override { return CheckCorrect; }
    RepairResult Repair() override { return RepairResult(); }
};

TEST(ProxyCheckerTest, LoadConfig_AcceptsSection_WhateverItHolds) {
    pugi::xml_document document;
    ASSERT_TRUE(
        document.load_string("<proxy><server host='10.0.0.1' port='8080'/>text</proxy><proxy/>"));
    FixedProxyChecker checker;

    EXPECT_EQ(checker.LoadConfig(document.child("proxy")), ConfigLoaded);
    EXPECT_EQ(checker.LoadConfig(document.last_child()), ConfigLoaded);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), ConfigLoaded);
}

}  // namespace
