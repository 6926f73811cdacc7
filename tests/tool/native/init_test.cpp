#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client_check_tool.h"
#include "default_config.h"
#include "fake_world.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

const char kSettingsFile[] = "C:\\Program Files\\Brevant\\Lang_config.cfg";

class InitTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWorld(); }
};

TEST_F(InitTest, Construction_CreatesCheckersInOrderAndReadsTheSetting) {
    World().languageValues[kSettingsFile] = "Simpchinese";
    ClientCheckTool tool(ResolveRunFacts(), Log());
    EXPECT_THAT(World().journal, ElementsAre("hosts.new", "setup.new", "proxy.new"));
    EXPECT_THAT(World().profileFilesRead, ElementsAre(kSettingsFile));
    EXPECT_EQ(tool.Label(LabelCorrect), Gbk("正常"));
}

TEST_F(InitTest, Construction_StopsAfterHostsFactory_WhenItYieldsNothing) {
    World().hostsFactoryYieldsNothing = true;
    World().languageValues[kSettingsFile] = "Simpchinese";
    {
        ClientCheckTool tool(ResolveRunFacts(), Log());
        EXPECT_FALSE(tool.Init("cs", kDefaultConfig));
        EXPECT_EQ(tool.Label(LabelCorrect), "Correct");  // lang stays empty
    }
    EXPECT_THAT(World().journal, ElementsAre("hosts.new"));
}

TEST_F(InitTest, Destruction_DeletesHostsThenSetupThenProxy) {
    { ClientCheckTool tool(ResolveRunFacts(), Log()); }
    EXPECT_THAT(World().journal, ElementsAre("hosts.new", "setup.new", "proxy.new", "hosts.~",
                                             "setup.~", "proxy.~"));
}

TEST_F(InitTest, Init_LanguageArgumentOverridesTheSetting) {
    World().languageValues[kSettingsFile] = "Simpchinese";
    ClientCheckTool tool(ResolveRunFacts(), Log());
    ASSERT_TRUE(tool.Init("en", kDefaultConfig));
    EXPECT_EQ(tool.Label(LabelCorrect), "Correct");
    ASSERT_TRUE(tool.Init("cs", kDefaultConfig));
    EXPECT_EQ(tool.Label(LabelCorrect), Gbk("正常"));
}

TEST_F(InitTest, Init_HandsEachCheckerItsFirstTopLevelSection) {
    const struct {
        const char* document;
        std::vector<std::string> loads;
    } cases[] = {
        {"<hosts id=\"h\"/>\t<setup id=\"s\"/> <proxy id=\"p\"/>",
         {"hosts.LoadConfig hosts#h", "setup.LoadConfig setup#s", "proxy.LoadConfig proxy#p"}},
        {"<proxy/> <setup/>",
         {"hosts.LoadConfig (empty)", "setup.LoadConfig setup", "proxy.LoadConfig proxy"}},
        {"<hosts id=\"1\"/><hosts id=\"2\"/>",
         {"hosts.LoadConfig hosts#1", "setup.LoadConfig (empty)", "proxy.LoadConfig (empty)"}},
        {"<Hosts/><hostsX/><HOSTS/><host/>",
         {"hosts.LoadConfig (empty)", "setup.LoadConfig (empty)", "proxy.LoadConfig (empty)"}},
        {"<outer><hosts/><setup/><proxy/></outer>",
         {"hosts.LoadConfig (empty)", "setup.LoadConfig (empty)", "proxy.LoadConfig (empty)"}},
        {"<other/><setup id=\"1\"><hosts/></setup><setup id=\"2\"/>",
         {"hosts.LoadConfig (empty)", "setup.LoadConfig setup#1", "proxy.LoadConfig (empty)"}},
    };
    for (const auto& c : cases) {
        ResetWorld();
        ClientCheckTool tool(ResolveRunFacts(), Log());
        World().journal.clear();
        EXPECT_TRUE(tool.Init("en", c.document)) << c.document;
        EXPECT_EQ(World().journal, c.loads) << c.document;
    }
}

TEST_F(InitTest, Init_HandsOutTheBuiltInDocument) {
    ClientCheckTool tool(ResolveRunFacts(), Log());
    World().journal.clear();
    EXPECT_TRUE(tool.Init("en", kDefaultConfig));
    EXPECT_THAT(World().journal, ElementsAre("hosts.LoadConfig hosts", "setup.LoadConfig setup",
                                             "proxy.LoadConfig (empty)"));
}

TEST_F(InitTest, Init_FailsWithoutLoadingAnything_WhenTextDoesNotParse) {
    for (const char* document :
         {"", "   ", "<hosts>", "<hosts></setup>", "hosts", "<a b=c/>", "<hosts/><"}) {
        ResetWorld();
        World().languageValues[kSettingsFile] = "Simpchinese";
        ClientCheckTool tool(ResolveRunFacts(), Log());
        World().journal.clear();
        EXPECT_FALSE(tool.Init("en", document)) << '"' << document << '"';
        EXPECT_TRUE(World().journal.empty()) << '"' << document << '"';
        EXPECT_EQ(tool.Label(LabelCorrect), "Correct") << "the language is replaced all the same";
    }
}

TEST_F(InitTest, Init_KeepsEarlierSections_WhenALaterParseFails) {
    ClientCheckTool tool(ResolveRunFacts(), Log());
    ASSERT_TRUE(tool.Init("en", kDefaultConfig));
    World().journal.clear();
    EXPECT_FALSE(tool.Init("cs", "<hosts>"));
    EXPECT_TRUE(World().journal.empty());
    EXPECT_EQ(tool.Label(LabelCorrect), Gbk("正常"));
}

TEST_F(InitTest, Init_SucceedsWhatever_LoadConfigReturns) {
    World().hosts.loadResult = HostsConfigMissing;
    World().setup.loadResult = SetupConfigRefused;
    World().proxy.loadResult = -1;
    ClientCheckTool tool(ResolveRunFacts(), Log());
    EXPECT_TRUE(tool.Init("en", kDefaultConfig));
}

TEST_F(InitTest, LoadSectionConfig_IsTrueOnlyWhenLoadConfigReturnsLoaded) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(kDefaultConfig.c_str()));
    for (int result :
         {int{ConfigLoaded}, 1, int{HostsConfigMissing}, int{SetupConfigRefused}, -1}) {
        World().hosts.loadResult = result;
        World().setup.loadResult = result;
        World().proxy.loadResult = result;
        ClientCheckTool tool(ResolveRunFacts(), Log());
        EXPECT_EQ(tool.LoadHostsConfig(document), result == ConfigLoaded) << result;
        EXPECT_EQ(tool.LoadSetupConfig(document), result == ConfigLoaded) << result;
        EXPECT_EQ(tool.LoadProxyConfig(document), result == ConfigLoaded) << result;
    }
}

}  // namespace
