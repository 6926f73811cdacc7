#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "folder_trust.h"
#include "repair_log.h"

namespace {

TEST(RepairLogTest, ComposeLog_KeepsTheNewestWholeLinesWithinTheLimit_ForEachLog) {
    const struct {
        const char* name;
        std::string existing;
        bool tail;
        std::string line;
        std::size_t limit;
        std::string log;
    } cases[] = {
        {"room enough", "a\nb\n", false, "c\n", 10, "a\nb\nc\n"},
        {"exactly the limit", "aa\nbb\n", false, "c\n", 8, "aa\nbb\nc\n"},
        {"one byte over: the oldest line goes", "aa\nbb\n", false, "cc\n", 8, "bb\ncc\n"},
        {"several lines go", "a\nb\nc\nd\n", false, "eeeee\n", 8, "d\neeeee\n"},
        {"CR LF lines", "a\r\nb\r\n", false, "c\r\n", 7, "b\r\nc\r\n"},
        {"a line longer than the limit stays alone", "a\nb\n", false, "0123456789\n", 8,
         "0123456789\n"},
        {"the end of a longer log starts mid-line", "rt of a line\nb\n", true, "c\n", 100,
         "b\nc\n"},
        {"a last line without its end is ended", "a\nb", false, "c\n", 100, "a\nb\nc\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComposeLog(c.existing, c.tail, c.line, c.limit), c.log) << c.name;
    }
}

TEST(RepairLogTest, LoggedValue_KeepsEachValueOnOneShortLine_WhateverItHolds) {
    const std::string big(300000, 'a');
    // 1023 ASCII bytes, then a sequence of three across the limit: it is left out whole
    const std::string cut = std::string(1023, 'b') + "\xE5\xB8\x83" + "c";
    const struct {
        const char* name;
        std::optional<std::string> value;
        std::string logged;
    } cases[] = {
        {"none", std::nullopt, "absent"},
        {"quotes, backslashes and ASCII controls", std::string("a\"\\\n\r\t\x01\x7F", 8),
         R"("a\"\\\n\r\t\u0001\u007f")"},
        {"line breaks beyond ASCII", "x\xC2\x85y\xE2\x80\xA8z\xE2\x80\xA9",
         R"("x\u0085y\u2028z\u2029")"},
        {"other text beyond ASCII", "\xC2\xA0\xE2\x80\xA7", "\"\xC2\xA0\xE2\x80\xA7\""},
        {"at the limit", std::string(1024, 'a'), "\"" + std::string(1024, 'a') + "\""},
        {"over the limit", big, "\"" + big.substr(0, 1024) + "\" (1024 of 300000 bytes)"},
        {"cut before a whole sequence", cut,
         "\"" + std::string(1023, 'b') + "\" (1023 of 1027 bytes)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoggedValue(c.value), c.logged) << c.name;
    }
}

TEST(RepairLogTest, IsTrustedFolder_RefusesAFolderAnyoneElseOwnsOrMayChange) {
    const std::string me = "S-1-5-21-1-2-3-1001";
    const std::string user = "S-1-5-21-1-2-3-1002";
    // SYSTEM, Administrators and this account full control, Users read: the folder the tool makes
    const std::vector<AccessEntry> made = {{AccessEntry::Allow, false, 0x1F01FF, "S-1-5-18"},
                                           {AccessEntry::Allow, false, 0x1F01FF, "S-1-5-32-544"},
                                           {AccessEntry::Allow, false, 0x1F01FF, me},
                                           {AccessEntry::Allow, false, 0x1200A9, "S-1-5-32-545"}};
    const auto with = [&made](AccessEntry extra) {
        std::vector<AccessEntry> entries = made;
        entries.push_back(extra);
        return entries;
    };
    const struct {
        const char* name;
        FolderSecurity security;
        bool trusted;
    } cases[] = {
        {"made by the tool, owned by Administrators", {"S-1-5-32-544", true, made}, true},
        {"owned by this account", {me, true, made}, true},
        {"owned by SYSTEM", {"S-1-5-18", true, made}, true},
        {"owned by TrustedInstaller",
         {"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", true, made},
         true},
        {"owned by a standard user", {user, true, made}, false},
        {"no owner", {"", true, made}, false},
        {"a NULL DACL", {"S-1-5-32-544", false, {}}, false},
        {"Everyone may add files",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x1301BF, "S-1-1-0"})},
         false},
        {"Users may add subfolders (as ProgramData grants)",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x4, "S-1-5-32-545"})},
         false},
        {"Users may delete children",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x40, "S-1-5-32-545"})},
         false},
        {"a user may change the folder's access list",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x40000, user})},
         false},
        {"GENERIC_WRITE to a user",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x40000000, user})},
         false},
        {"MAXIMUM_ALLOWED to a user",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0x02000000, user})},
         false},
        {"GENERIC_READ and GENERIC_EXECUTE to Everyone",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, false, 0xA0000000, "S-1-1-0"})},
         true},
        {"write for a user on children only (inherit-only)",
         {"S-1-5-32-544", true, with({AccessEntry::Allow, true, 0x1F01FF, user})},
         true},
        {"a denying entry grants nothing",
         {"S-1-5-32-544", true, with({AccessEntry::Deny, false, 0x1F01FF, user})},
         true},
        {"an allowing entry of a kind not read",
         {"S-1-5-32-544", true, with({AccessEntry::Unreadable, false, 0, "S-1-5-18"})},
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsTrustedFolder(c.security, me), c.trusted) << c.name;
    }
    // an account the tool does not run as is no one special
    EXPECT_FALSE(IsTrustedFolder({me, true, made}, user));
}

}  // namespace
