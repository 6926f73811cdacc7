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
             Case{true, 0x1, 0},   // direct
             Case{true, 0x2, 1},   // proxy
             Case{true, 0x3, 1},   // direct and proxy
             Case{true, 0x5, 1},   // direct and configuration script
             Case{true, 0x9, 1},   // direct and automatic detection
             Case{true, 0x0, 1},   // nothing
             Case{false, 0x1, 1},  // the query failed
         }) {
        EXPECT_EQ(ProxyCheckCode(c.read, c.flags), c.expected) << c.read << " " << c.flags;
    }
}

class FixedProxyChecker : public ProxyChecker {
public:
    int Check() override { return 0; }
    int Repair() override { return 0; }
};

TEST(ProxyCheckerTest, LoadConfig_AcceptsSection_WhateverItHolds) {
    pugi::xml_document document;
    ASSERT_TRUE(
        document.load_string("<proxy><server host='10.0.0.1' port='8080'/>text</proxy><proxy/>"));
    FixedProxyChecker checker;

    EXPECT_EQ(checker.LoadConfig(document.child("proxy")), 0);
    EXPECT_EQ(checker.LoadConfig(document.last_child()), 0);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), 0);
}

}  // namespace
