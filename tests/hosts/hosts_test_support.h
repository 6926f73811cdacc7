#pragma once

#include <string>

#include <gtest/gtest.h>

#include "hosts_checker.h"

inline const std::string kDomain = "localhost.brevant.io";
// "127.0.0.1", twelve spaces, the name
inline const std::string kCanonical = "127.0.0.1            localhost.brevant.io";
inline const std::string kDefaultHosts =
    "<hosts>\t<hosts1 domain=\"localhost.brevant.io\" ip=\"127.0.0.1\"/>\t</hosts>";

// Loads a hosts section given as XML text; returns LoadConfig's result.
inline int LoadHostsSection(HostsChecker& checker, const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str()));
    return checker.LoadConfig(document.child("hosts"));
}
