#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "hosts_checker.h"

inline const std::string kDomain = "localhost.brevant.io";
// "127.0.0.1", twelve spaces, the name
inline const std::string kCanonical = "127.0.0.1            localhost.brevant.io";
inline const std::string kDefaultHosts =
    "<hosts>\t<hosts1 domain=\"localhost.brevant.io\" ip=\"127.0.0.1\"/>\t</hosts>";

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Loads a hosts section given as XML text; returns LoadConfig's result.
inline int LoadHostsSection(HostsChecker& checker, const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str()));
    return checker.LoadConfig(document.child("hosts"));
}
