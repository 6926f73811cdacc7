#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fake_world.h"
#include "run_facts.h"

using ::testing::ElementsAre;

namespace {

TEST(RunFactsTest, ProgramDirectoryOf_CutsAfterTheLastSeparator_OrGivesNone) {
    const struct {
        const char* path;
        std::optional<std::string> directory;
    } cases[] = {
        {"C:\\Program Files\\Brevant\\tool.exe", "C:\\Program Files\\Brevant\\"},
        {"C:/apps/tool.exe", "C:/apps/"},
        {"C:\\apps/sub\\tool.exe", "C:\\apps/sub\\"},
        {"C:\\apps\\sub/tool.exe", "C:\\apps\\sub/"},
        {"\\\\server\\share\\tool.exe", "\\\\server\\share\\"},
        {"C:\\tool.exe", "C:\\"},
        {"C:\\apps\\", "C:\\apps\\"},
        {"tool.exe", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgramDirectoryOf(c.path), c.directory) << c.path;
    }
}

std::string NameFile(const std::string& name) {
    return "<root><windows><application name=\"" + name + "\"/></windows></root>";
}

// name.xml padded with a comment to exactly size bytes.
std::string NameFileOfSize(const std::string& name, std::size_t size) {
    const std::string text = NameFile(name);
    return text + "<!--" + std::string(size - text.size() - 7, 'x') + "-->";
}

TEST(RunFactsTest, ResolveRunFacts_ReadsEachFileOnceInTheProgramsLongFolder) {
    const std::string folder = "C:\\Program Files\\Brevant\\";
    const struct {
        const char* name;
        std::string program;
        std::map<std::string, std::string> files;
        std::optional<std::string> directory;
        std::string applicationName;
        std::string language;
        std::vector<std::string> read;
    } cases[] = {
        {"started through an 8.3 alias",
         "C:\\PROGRA~1\\Brevant\\tool.exe",
         {{folder + "name.xml", NameFile("BrevantRun")}},
         folder,
         "BrevantRun",
         "cs",
         {folder + "name.xml"}},
        {"no name file", folder + "tool.exe", {}, folder, "Brevant", "cs", {folder + "name.xml"}},
        {"a name that is no scheme, kept for the registration to refuse",
         folder + "tool.exe",
         {{folder + "name.xml", NameFile("bad name")}},
         folder,
         "bad name",
         "cs",
         {folder + "name.xml"}},
        {"a name file of 64 KiB",
         folder + "tool.exe",
         {{folder + "name.xml", NameFileOfSize("BrevantRun", kLongestNameFile)}},
         folder,
         "BrevantRun",
         "cs",
         {folder + "name.xml"}},
        {"a name file one byte larger counts as one that does not load",
         folder + "tool.exe",
         {{folder + "name.xml", NameFileOfSize("BrevantRun", kLongestNameFile + 1)}},
         folder,
         "Brevant",
         "cs",
         {folder + "name.xml"}},
        {"the program's path unknown", "", {}, std::nullopt, "", "en", {}},
        {"a name file held open by another program: no name, not the default",
         folder + "tool.exe",
         {{folder + "name.xml", "held"}},
         folder,
         "",
         "cs",
         {folder + "name.xml"}},
    };
    for (const auto& c : cases) {
        ResetWorld();
        World().moduleFileName = c.program;
        World().longPaths["C:\\PROGRA~1\\Brevant\\tool.exe"] = folder + "tool.exe";
        World().files = c.files;
        if (c.files.count(folder + "name.xml") != 0 && c.files.at(folder + "name.xml") == "held") {
            World().unreadableFiles.insert(folder + "name.xml");
        }
        World().languageValues[folder + "Lang_config.cfg"] = "Simpchinese";
        const RunFacts facts = ResolveRunFacts();
        EXPECT_EQ(facts.programDirectory, c.directory) << c.name;
        EXPECT_EQ(facts.applicationName, c.applicationName) << c.name;
        EXPECT_EQ(facts.language, c.language) << c.name;
        EXPECT_EQ(World().filesRead, c.read) << c.name;
    }
}

}  // namespace
