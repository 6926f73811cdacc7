#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "default_config.h"

namespace {

std::vector<std::string> Attributes(const pugi::xml_node& node) {
    std::vector<std::string> pairs;
    for (const pugi::xml_attribute& attribute : node.attributes()) {
        pairs.push_back(std::string(attribute.name()) + "=" + attribute.value());
    }
    return pairs;
}

std::vector<std::string> ChildNames(const pugi::xml_node& node) {
    std::vector<std::string> names;
    for (const pugi::xml_node& child : node.children()) {
        names.push_back(child.type() == pugi::node_element ? child.name() : "(not an element)");
    }
    return names;
}

TEST(DefaultConfigTest, DefaultConfig_HoldsHostsAndSetupSideBySide) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(kDefaultConfig.c_str()));
    EXPECT_EQ(ChildNames(document), (std::vector<std::string>{"hosts", "setup"}));
    EXPECT_EQ(kDefaultConfig.find_first_of("\r\n"), std::string::npos);
    EXPECT_EQ(kDefaultConfig.find("<?xml"), std::string::npos);

    const pugi::xml_node hosts = document.child("hosts");
    EXPECT_EQ(ChildNames(hosts), (std::vector<std::string>{"hosts1"}));
    EXPECT_EQ(Attributes(hosts.child("hosts1")),
              (std::vector<std::string>{"domain=localhost.brevant.io", "ip=127.0.0.1"}));

    const pugi::xml_node setup = document.child("setup");
    EXPECT_EQ(ChildNames(setup), (std::vector<std::string>{"win", "linux"}));
    EXPECT_EQ(ChildNames(setup.child("win")),
              (std::vector<std::string>{"item1", "item2", "item3"}));
    EXPECT_EQ(
        Attributes(setup.child("win").child("item1")),
        (std::vector<std::string>{"key=HKEY_CLASSES_ROOT", "sub_key=%s\\shell\\open\\command",
                                  "data=%s-watch.exe %%1", "wtag=setup", "current_path_enable=1"}));
    EXPECT_EQ(
        Attributes(setup.child("win").child("item2")),
        (std::vector<std::string>{"key=HKEY_CLASSES_ROOT", "sub_key=%s", "data=URL:%s Protocol",
                                  "wtag=url", "current_path_enable=0"}));
    EXPECT_EQ(Attributes(setup.child("win").child("item3")),
              (std::vector<std::string>{"key=HKEY_CLASSES_ROOT", "sub_key=%s",
                                        "data=", "wtag=url_protocol", "current_path_enable=0"}));
    EXPECT_EQ(ChildNames(setup.child("linux")), (std::vector<std::string>{"item1"}));
    EXPECT_EQ(Attributes(setup.child("linux").child("item1")),
              (std::vector<std::string>{"key=/usr/share/applications/brevant-url.desktop",
                                        "data=brevant %u"}));
}

}  // namespace
