#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "associated_setup_checker.h"

namespace {

const char kDirectory[] = "C:\\Program Files\\Brevant\\";

const char kDefaultSetup[] =
    "<setup><win>"
    "<item1 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\\shell\\open\\command\" "
    "data=\"%s-watch.exe %%1\" wtag=\"setup\" current_path_enable=\"1\"/>"
    "<item2 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\" data=\"URL:%s Protocol\" wtag=\"url\" "
    "current_path_enable=\"0\"/>"
    "<item3 key=\"HKEY_CLASSES_ROOT\" sub_key=\"%s\" data=\"\" wtag=\"url_protocol\" "
    "current_path_enable=\"0\"/>"
    "</win><linux><item1 key=\"/usr/share/applications/brevant-url.desktop\" "
    "data=\"brevant %u\"/></linux></setup>";

auto Fields(const SetupItem& item) {
    return std::tie(item.rootKey, item.rootName, item.subKey, item.valueName, item.data, item.wtag,
                    item.status);
}

SetupItem Item(RegistryRoot root, std::string rootName, std::string subKey, std::string valueName,
               std::string data, std::string wtag) {
    SetupItem item;
    item.rootKey = root;
    item.rootName = std::move(rootName);
    item.subKey = std::move(subKey);
    item.valueName = std::move(valueName);
    item.data = std::move(data);
    item.wtag = std::move(wtag);
    item.status = ItemUnchecked;
    return item;
}

SetupItem Hkcr(std::string subKey, std::string valueName, std::string data, std::string wtag) {
    return Item(RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT", std::move(subKey),
                std::move(valueName), std::move(data), std::move(wtag));
}

}  // namespace

bool operator==(const SetupItem& a, const SetupItem& b) { return Fields(a) == Fields(b); }

void PrintTo(const SetupItem& item, std::ostream* out) {
    *out << "{root " << static_cast<int>(item.rootKey) << ", \"" << item.rootName << "\", \""
         << item.subKey << "\", \"" << item.valueName << "\", \"" << item.data << "\", \""
         << item.wtag << "\", status " << item.status << "}";
}

namespace {

struct LoadCase {
    const char* name;
    std::string document;  // the document's first top-level element is handed over
    std::optional<std::string> directory;
    std::string applicationName;
    SetupLoadResult result;
    std::vector<SetupItem> items;
};

void PrintTo(const LoadCase& c, std::ostream* out) { *out << c.name; }

class LoadSetupItemsTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadSetupItemsTest, LoadSetupItems_BuildsExpectedList_ForConfiguration) {
    const LoadCase& c = GetParam();
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(c.document.c_str()));
    // a stale item that every load must drop
    std::vector<SetupItem> items = {Hkcr("stale", "", "", "url")};

    const SetupLoadResult result =
        LoadSetupItems(document.first_child(), SetupNames{c.directory, c.applicationName}, items);

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(items, c.items);
}

const std::string kD = kDirectory;

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSetupItemsTest,
    testing::Values(
        LoadCase{"DefaultConfiguration",
                 kDefaultSetup,
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("Brevant\\shell\\open\\command", "",
                       "\"" + kD + "Brevant-watch.exe\" \"%1\"", "setup"),
                  Hkcr("Brevant", "", "URL:Brevant Protocol", "url"),
                  Hkcr("Brevant", "URL Protocol", "", "url_protocol")}},
        LoadCase{"DefaultConfigurationOtherName",
                 kDefaultSetup,
                 std::string("D:\\x\\"),
                 "\xE5\xB8\x83 App",
                 SetupUnresolved,
                 {}},
        LoadCase{"RootNamesInAnyCase",
                 "<setup><win>"
                 "<a key='hkey_classes_root' sub_key='k1' wtag='x'/>"
                 "<b key='Hkey_Current_User' sub_key='k2' wtag='x'/>"
                 "<c key='hKEY_local_MACHINE' sub_key='k3' wtag='x'/>"
                 "<d key='HKEY_USERS' sub_key='k4' wtag='x'/>"
                 "<e key='hkey_current_config' sub_key='k5' wtag='x'/>"
                 "</win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Item(RegistryRoot::ClassesRoot, "hkey_classes_root", "k1", "", "", "x"),
                  Item(RegistryRoot::CurrentUser, "Hkey_Current_User", "k2", "", "", "x"),
                  Item(RegistryRoot::LocalMachine, "hKEY_local_MACHINE", "k3", "", "", "x"),
                  Item(RegistryRoot::Users, "HKEY_USERS", "k4", "", "", "x"),
                  Item(RegistryRoot::CurrentConfig, "hkey_current_config", "k5", "", "", "x")}},
        LoadCase{"AbbreviatedRootAfterValidItems",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' wtag='url'/>"
                 "<b key='HKCR' sub_key='%s' wtag='url'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupRefused,
                 {}},
        LoadCase{"PerformanceDataRootAfterValidItems",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' wtag='url'/>"
                 "<b key='HKEY_PERFORMANCE_DATA' sub_key='%s' wtag='url'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupRefused,
                 {}},
        LoadCase{"RootNameWithBlank",
                 "<setup><win><a key=' HKEY_USERS' sub_key='k' wtag='x'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupRefused,
                 {}},
        LoadCase{"UpperCaseUrlTagIsNotFormatted",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' data='%%1 %s' "
                 "wtag='URL'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("%s", "", "%%1 %s", "URL")}},
        LoadCase{"UrlProtocolIgnoresData",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' data='something' "
                 "wtag='url_protocol'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("Brevant", "URL Protocol", "", "url_protocol")}},
        LoadCase{"CurrentPathEnableOnlyExactlyOne",
                 "<setup><win>"
                 "<a key='HKEY_CLASSES_ROOT' sub_key='a' data='t' wtag='url' "
                 "current_path_enable='true'/>"
                 "<b key='HKEY_CLASSES_ROOT' sub_key='b' data='t' wtag='url' "
                 "current_path_enable='01'/>"
                 "<c key='HKEY_CLASSES_ROOT' sub_key='c' data='t' wtag='url' "
                 "current_path_enable=' 1'/>"
                 "<d key='HKEY_CLASSES_ROOT' sub_key='d' data='t' wtag='other' "
                 "current_path_enable='1'/>"
                 "<e key='HKEY_CLASSES_ROOT' sub_key='%s' data='x' wtag='url_protocol' "
                 "current_path_enable='1'/>"
                 "</win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("a", "", "t", "url"), Hkcr("b", "", "t", "url"), Hkcr("c", "", "t", "url"),
                  Hkcr("d", "", kD + "t", "other"),
                  Hkcr("Brevant", "URL Protocol", kD, "url_protocol")}},
        LoadCase{"AttributesMissing",
                 "<setup><win><a key='HKEY_CLASSES_ROOT'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("", "", "", "")}},
        LoadCase{"AttributeNamesMatchCase",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' Sub_Key='k' wtag='url'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("", "", "", "url")}},
        LoadCase{"TextInsideWin",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' wtag='url'/>text</win>"
                 "</setup>",
                 kD,
                 "Brevant",
                 SetupRefused,
                 {}},
        LoadCase{"EmptyWin", "<setup><win>  </win></setup>", kD, "Brevant", SetupLoaded, {}},
        LoadCase{
            "NoWin", "<setup><linux><a key='x'/></linux></setup>", kD, "Brevant", SetupRefused, {}},
        LoadCase{"WinNameMatchesCase",
                 "<setup><Win><a key='HKEY_CLASSES_ROOT' sub_key='k' wtag='x'/></Win></setup>",
                 kD,
                 "Brevant",
                 SetupRefused,
                 {}},
        LoadCase{"OnlyFirstWinIsRead",
                 "<setup><win><a key='HKEY_USERS' sub_key='first' wtag='x'/></win>"
                 "<win><a key='HKEY_USERS' sub_key='second' wtag='x'/></win></setup>",
                 kD,
                 "Brevant",
                 SetupLoaded,
                 {Item(RegistryRoot::Users, "HKEY_USERS", "first", "", "", "x")}},
        LoadCase{"EmptySection", "<setup/>", kD, "Brevant", SetupRefused, {}},
        LoadCase{"EmptyNameInFormattedKeyPath", kDefaultSetup, kD, "", SetupUnresolved, {}},
        LoadCase{"EmptyNameInFormattedDataOnly",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='Fixed' data='URL:%s' "
                 "wtag='url'/></win></setup>",
                 kD,
                 "",
                 SetupUnresolved,
                 {}},
        LoadCase{"EmptyNameUnusedByTemplates",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='Fixed\\%%s' data='%%1' "
                 "wtag='url'/><b key='HKEY_CLASSES_ROOT' sub_key='%s' wtag='other'/></win>"
                 "</setup>",
                 kD,
                 "",
                 SetupLoaded,
                 {Hkcr("Fixed\\%s", "", "%1", "url"), Hkcr("%s", "", "", "other")}},
        LoadCase{"UnknownDirectoryWhereNeeded",
                 kDefaultSetup,
                 std::nullopt,
                 "Brevant",
                 SetupUnresolved,
                 {}},
        LoadCase{"UnknownDirectoryUnneeded",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' data='URL:%s Protocol' "
                 "wtag='url'/></win></setup>",
                 std::nullopt,
                 "Brevant",
                 SetupLoaded,
                 {Hkcr("Brevant", "", "URL:Brevant Protocol", "url")}},
        LoadCase{"UnknownRootWinsOverUnresolvedName",
                 "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='%s' wtag='url'/>"
                 "<b key='HKCR' sub_key='k' wtag='x'/></win></setup>",
                 kD,
                 "",
                 SetupRefused,
                 {}}),
    [](const testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

TEST(SplitAtFolderTest, SplitAtFolder_IsolatesTheProgramDirectory_ForEachKindOfItem) {
    const std::string attributes = " key='HKEY_CLASSES_ROOT' sub_key='%s' ";
    // an item of the "win" element, and its data before, in and after the program directory
    const struct {
        std::string item;
        std::vector<std::string> parts;
    } cases[] = {
        {"<a" + attributes + "data='%s-watch.exe %%1' wtag='setup' current_path_enable='1'/>",
         {"\"", kD, "Brevant-watch.exe\" \"%1\""}},
        {"<a" + attributes + "data='  ' wtag='setup' current_path_enable='1'/>", {"", kD, "  "}},
        {"<a" + attributes + "data='URL:%s' wtag='url' current_path_enable='1'/>",
         {"", kD, "URL:Brevant"}},
        {"<a" + attributes + "wtag='url_protocol' current_path_enable='1'/>", {"", kD, ""}},
        {"<a" + attributes + "data='x %s' wtag='other' current_path_enable='1'/>",
         {"", kD, "x %s"}},
        {"<a" + attributes + "data='%s-watch.exe %%1' wtag='setup' current_path_enable='0'/>",
         {"\"Brevant-watch.exe\" \"%1\"", "", ""}},
    };
    for (const auto& c : cases) {
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(("<setup><win>" + c.item + "</win></setup>").c_str()));
        std::vector<SetupItem> items;
        ASSERT_EQ(LoadSetupItems(document.first_child(), SetupNames{kD, "Brevant"}, items),
                  SetupLoaded)
            << c.item;
        const DataParts parts = SplitAtFolder(items.at(0));
        EXPECT_EQ((std::vector<std::string>{parts.before, parts.folder, parts.after}), c.parts)
            << c.item;
    }
}

struct FillCase {
    const char* text;
    const char* name;
    const char* expected;
};

void PrintTo(const FillCase& c, std::ostream* out) {
    *out << '"' << c.text << "\" with \"" << c.name << '"';
}

class FillTemplateTest : public testing::TestWithParam<FillCase> {};

TEST_P(FillTemplateTest, FillTemplate_ReplacesOnlyNameAndPercent_ForTemplate) {
    EXPECT_EQ(FillTemplate(GetParam().text, GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FillTemplateTest,
    testing::Values(
        FillCase{"%s\\shell\\open\\command", "Brevant", "Brevant\\shell\\open\\command"},
        FillCase{"%s-watch.exe %%1", "Brevant", "Brevant-watch.exe %1"},
        FillCase{"%s%s", "ab", "abab"}, FillCase{"", "ab", ""}, FillCase{"plain", "ab", "plain"},
        FillCase{"%%s", "ab", "%s"}, FillCase{"%%%s", "ab", "%ab"}, FillCase{"%1", "ab", "%1"},
        FillCase{"%d %x %n %p %*s %S", "ab", "%d %x %n %p %*s %S"}, FillCase{"100%", "ab", "100%"},
        FillCase{"%s", "", ""}, FillCase{"[%s]", "a%sb%%", "[a%sb%%]"}),
    [](const testing::TestParamInfo<FillCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(FillTemplateTest, FillTemplate_KeepsWholeText_WhenLongerThan511Characters) {
    const std::string name(400, 'n');
    const std::string text = "%s" + std::string(300, 't') + "%s";

    EXPECT_EQ(FillTemplate(text, name), name + std::string(300, 't') + name);
}

TEST(RootKeyFromNameTest, RootKeyFromName_MatchesOnlyTheFiveRoots_InAnyCase) {
    EXPECT_EQ(RootKeyFromName("HKEY_CLASSES_ROOT"), RegistryRoot::ClassesRoot);
    EXPECT_EQ(RootKeyFromName("hkey_current_user"), RegistryRoot::CurrentUser);
    EXPECT_EQ(RootKeyFromName("Hkey_Local_Machine"), RegistryRoot::LocalMachine);
    EXPECT_EQ(RootKeyFromName("hKEY_uSERS"), RegistryRoot::Users);
    EXPECT_EQ(RootKeyFromName("HKEY_CURRENT_config"), RegistryRoot::CurrentConfig);
    for (const char* name : {"", "HKCR", "HKCU", "HKEY_PERFORMANCE_DATA", "HKEY_CLASSES_ROOT ",
                             "HKEY_CLASSES_ROOT\\", "HKEY_DYN_DATA"}) {
        EXPECT_EQ(RootKeyFromName(name), std::nullopt) << name;
    }
}

// Loads the name file as the Windows checker does, then takes the name from the document.
std::string ReadNameFile(const std::string& path) {
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_file(path.c_str());
    return ApplicationNameFromDocument(document, loaded);
}

class ApplicationNameTest : public testing::Test {
protected:
    void SetUp() override {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        directory = std::filesystem::temp_directory_path() /
                    (std::string("setup_name_test_") + info->name());
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        path = (directory / "name.xml").string();
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::string ReadWith(const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
        return ReadNameFile(path);
    }

    std::filesystem::path directory;
    std::string path;
};

TEST_F(ApplicationNameTest, ApplicationNameFromDocument_GivesDefault_WhenFileIsMissing) {
    EXPECT_EQ(ReadNameFile(path), "Brevant");
}

TEST_F(ApplicationNameTest, ApplicationNameFromDocument_GivesDefault_WhenFileIsUnusable) {
    for (const char* content : {
             "",
             "<root><windows><application name=\"X\"></windows></root>",
             "<root/>",
             "<root><windows/></root>",
             "<Root><windows><application name=\"X\"/></windows></Root>",
             "<root><application name=\"X\"/></root>",
             "<root/><root><windows><application name=\"X\"/></windows></root>",
             "<root><windows/><windows><application name=\"X\"/></windows></root>",
             "<other><windows><application name=\"X\"/></windows></other>",
         }) {
        EXPECT_EQ(ReadWith(content), "Brevant") << content;
    }
}

// pugixml ends a value at a NUL written as a reference: the name keeps it, so that it is refused.
TEST(ApplicationNameFromFileTest,
     ApplicationNameFromFile_KeepsANulReference_SoThatTheNameIsRefused) {
    const auto file = [](const std::string& name) {
        return "<root><windows><application name=\"" + name + "\"/></windows></root>";
    };
    const struct {
        std::string name;
        std::string taken;
    } cases[] = {
        {"Acme", "Acme"},
        {"Ac&#0;me", std::string("Ac\0", 3)},
        {"&#x00;", std::string(1, '\0')},
        {"A&#4294967296;", std::string("A\0", 2)},
        {"A&#X0;", "A&#X0;"},
        {"A&#1;", "A\x01"},
        {"A&amp;#0;", "A&#0;"},
        {"&#66;revant", "Brevant"},
    };
    for (const auto& c : cases) {
        const std::string taken = ApplicationNameFromFile(file(c.name));
        EXPECT_EQ(taken, c.taken) << c.name;
        EXPECT_EQ(IsValidApplicationName(taken), c.taken == "Acme" || c.taken == "Brevant")
            << c.name;
    }
    EXPECT_EQ(ApplicationNameFromFile(""), "Brevant");
}

TEST_F(ApplicationNameTest, ApplicationNameFromDocument_GivesNameAttribute_WhenApplicationIsFound) {
    struct Case {
        const char* content;
        std::string expected;
    };
    for (const Case& c : {
             Case{"<root><windows><application name=\"Vendor\"/></windows></root>", "Vendor"},
             Case{"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <windows>\n"
                  "    <application name=\" Spaced Name \" other=\"x\"/>\n  </windows>\n</root>\n",
                  " Spaced Name "},
             Case{"<root><windows><application/></windows></root>", ""},
             Case{"<root><windows><application Name=\"X\"/></windows></root>", ""},
             Case{"<root><windows><application name=\"\"/></windows></root>", ""},
             Case{"<root><windows><application/><application name=\"X\"/></windows></root>", ""},
             Case{"<root><windows><application name=\"\xE5\xB8\x83\xE9\x9B\xB7\"/></windows>"
                  "</root>",
                  "\xE5\xB8\x83\xE9\x9B\xB7"},
             Case{"\xEF\xBB\xBF<root><windows><application name=\"A&amp;B\"/></windows></root>",
                  "A&B"},
         }) {
        EXPECT_EQ(ReadWith(c.content), c.expected) << c.content;
    }
}

TEST(IsValidApplicationNameTest, IsValidApplicationName_AcceptsOnlyUrlSchemes_ForName) {
    for (const std::string& name :
         {std::string("Brevant"), std::string("Z9+-.v2"), std::string(63, 'a')}) {
        EXPECT_TRUE(IsValidApplicationName(name)) << name;
    }
    for (const std::string& name :
         {std::string(), std::string(64, 'a'), std::string("9lives"), std::string("+a"),
          std::string("Evil\\shell"), std::string("\\Brevant"), std::string("Brevant "),
          std::string("a_b"), std::string("Caf\xC3\xA9"), std::string("a\0b", 3)}) {
        EXPECT_FALSE(IsValidApplicationName(name)) << name;
    }
}

TEST(IsAnotherProgramsClassTest, IsAnotherProgramsClass_RefusesWhatNoRegistrationOfOursWrites) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(kDefaultSetup));
    std::vector<SetupItem> items;
    ASSERT_EQ(LoadSetupItems(document.child("setup"), SetupNames{kDirectory, "Brevant"}, items),
              SetupLoaded);
    EXPECT_EQ(SetupKeyPaths(items, "Brevant"),
              (std::vector<std::string>{"Brevant", "Brevant\\shell", "Brevant\\shell\\open",
                                        "Brevant\\shell\\open\\command"}));

    using Keys = std::map<std::string, RegistryKeyContents>;
    const Keys ours = {
        {"Brevant", {{"shell"}, {{"", "URL:Brevant Protocol"}, {"URL Protocol", ""}}}},
        {"Brevant\\shell", {{"open"}, {}}},
        {"Brevant\\shell\\open", {{"command"}, {}}},
        {"Brevant\\shell\\open\\command",
         {{}, {{"", "\"C:\\Program Files\\Brevant\\Brevant-watch.exe\" \"%1\""}}}},
    };
    const auto With = [&](const std::string& path, RegistryKeyContents contents) {
        Keys keys = ours;
        keys[path] = std::move(contents);
        return keys;
    };
    const auto Command = [&](const std::string& text) {
        return With("Brevant\\shell\\open\\command", {{}, {{"", text}}});
    };
    const struct {
        const char* name;
        Keys keys;
        bool foreign;
    } cases[] = {
        {"no key", {}, false},
        {"ours", ours, false},
        {"half-way: the scheme's key alone", {{"Brevant", {}}}, false},
        {"half-way: empty values", With("Brevant", {{"shell"}, {{"", ""}}}), false},
        {"half-way: empty command", Command(""), false},
        {"moved install", Command("\"D:\\OLD\\BREVANT-WATCH.EXE\" \"%1\""), false},
        {"description in other case",
         With("Brevant", {{"shell"}, {{"", "url:brevant protocol"}, {"URL Protocol", ""}}}), false},
        {"a look-alike program", Command("C:\\x\\Brevant-watcher.exe %1"), true},
        {"another program first", Command("C:\\other.exe C:\\x\\Brevant-watch.exe %1"), true},
        {"the file type's own", Command("\"%1\" %*"), true},
        {"another description",
         With("Brevant", {{"shell"}, {{"", "URL:Brevant Protocol "}, {"URL Protocol", ""}}}), true},
        {"another value", With("Brevant", {{"shell"}, {{"EditFlags", "2"}}}), true},
        {"a default verb", With("Brevant\\shell", {{"open"}, {{"", "find"}}}), true},
        {"a value that is not text", With("Brevant", {{"shell"}, {{"", std::nullopt}}}), true},
        {"unreadable", With("Brevant\\shell", {{}, {}, true}), true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsAnotherProgramsClass(items, "Brevant", c.keys), c.foreign) << c.name;
    }
}

TEST(QuoteCommandLineTest, QuoteCommandLine_QuotesProgramAndArguments_ForCommand) {
    const std::optional<std::string> none;
    const std::optional<std::string> folder = std::string("C:\\Program Files (x86)\\B\\");
    const struct {
        const char* command;
        std::optional<std::string> directory;
        std::string expected;
    } cases[] = {
        {"w.exe %1", none, "\"w.exe\" \"%1\""},
        {"\"w.exe\" \"%1\"", folder, "\"C:\\Program Files (x86)\\B\\w.exe\" \"%1\""},
        {"  w.exe\t%1   -x  ", none, "\"w.exe\" \"%1\" \"-x\""},
        {"w.exe \"a b\" --k=\"c d\"", none, "\"w.exe\" \"a b\" --k=\"c d\""},
        {"", folder, *folder},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(QuoteCommandLine(c.command, c.directory), c.expected) << c.command;
    }
}

}  // namespace
