// The hosts rewrite over real files: built natively (sanitizers) and for Windows (run under Wine),
// so both platforms must produce the same bytes.
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hosts_checker.h"
#include "hosts_test_support.h"

using namespace std::string_literals;

// The library asks the platform for the system directory; these tests name their files directly.
std::string SystemDirectory() { return std::string(); }

namespace {

class FileHostsChecker : public HostsChecker {
public:
    explicit FileHostsChecker(std::string path) : path(std::move(path)) {}
    std::string GetHostsFilePath() override { return path; }
    int Repair() override { return kHostsRepairFailed; }
    const std::string& RepairedContent() const { return repairedContent; }
    const std::map<std::string, std::string>& Entries() const { return entries; }

private:
    std::string path;
};

struct RewriteCase {
    const char* name;
    std::string fileBytes;
    int check;
    std::string repaired;
};

void PrintTo(const RewriteCase& rewrite, std::ostream* out) { *out << rewrite.name; }

const std::string kMissingAppended = kCanonical + "\n";

std::vector<RewriteCase> RewriteCases() {
    return {
        {"EmptyFile", "", 1, kMissingAppended},
        {"CanonicalLine", kCanonical + "\r\n", 0, kMissingAppended},
        {"CanonicalLineWithLfOnly", "# a\n" + kCanonical + "\n", 0, "# a\n" + kMissingAppended},
        {"TabSeparated", "127.0.0.1\tlocalhost.brevant.io\r\n", 0, kMissingAppended},
        {"BlanksAround", " \t" + kCanonical + " \t\r\n", 0, kMissingAppended},
        {"OtherAddressInPlace",
         "# head\r\n  10.0.0.1 localhost.brevant.io\r\n1.2.3.4   other.example  \r\n", 1,
         "# head\n" + kCanonical + "\n1.2.3.4   other.example  \n"},
        {"AliasDropped", "127.0.0.1 localhost.brevant.io alias\r\n", 1, kMissingAppended},
        {"TrailingCommentDropped", "127.0.0.1 localhost.brevant.io # local\r\n", 1,
         kMissingAppended},
        {"DuplicateCommentedOut",
         "127.0.0.1 localhost.brevant.io\r\n  10.0.0.1\tlocalhost.brevant.io  \r\n", 1,
         kCanonical + "\n# 10.0.0.1\tlocalhost.brevant.io\n"},
        {"OnlyInComment", "# 127.0.0.1 localhost.brevant.io\r\n", 1,
         "# 127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"OnlyInIndentedComment", "  \t#127.0.0.1 localhost.brevant.io\r\n", 1,
         "  \t#127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"OtherLetterCase", "127.0.0.1 Localhost.Brevant.io\r\n", 1,
         "127.0.0.1 Localhost.Brevant.io\n" + kMissingAppended},
        {"NameAsThirdToken", "127.0.0.1 other localhost.brevant.io\r\n", 1,
         "127.0.0.1 other localhost.brevant.io\n" + kMissingAppended},
        {"AddressOnly", "  127.0.0.1  \r\n", 1, "  127.0.0.1  \n" + kMissingAppended},
        {"LastLineWithoutEnd", "1.2.3.4 other\r\n" + kCanonical, 0,
         "1.2.3.4 other\n" + kMissingAppended},
        {"BlankLinesKept", "\r\n" + kCanonical + "\r\n \t\r\n\n", 0,
         "\n" + kCanonical + "\n \t\n\n"},
        {"LoneCrStaysInLine", "# a\rb\r\n# c\r\r\n" + kCanonical + "\r\n", 0,
         "# a\rb\n# c\r\n" + kMissingAppended},
        {"LoneCrAtEndStays", kCanonical + "\r\n# tail\r", 0, kMissingAppended + "# tail\r\n"},
        {"CtrlZKeepsTheRest", "# a\x1a b\r\n1.2.3.4 other\r\n", 1,
         "# a\x1a b\n1.2.3.4 other\n" + kMissingAppended},
        {"Utf8MarkMakesCommentAnEntryLine", "\xEF\xBB\xBF# 127.0.0.1 localhost.brevant.io\r\n", 1,
         "\xEF\xBB\xBF# 127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"Utf8MarkSpoilsAddress",
         "\xEF\xBB\xBF"
         "127.0.0.1 localhost.brevant.io\r\n",
         1, kMissingAppended},
        {"HighBytesAreNoWhitespace", "127.0.0.1\xA0localhost.brevant.io\r\n", 1,
         "127.0.0.1\xA0localhost.brevant.io\n" + kMissingAppended},
    };
}

class HostsRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(HostsRewrite, Check_GivesCodeAndRepairedText_ForFileBytes) {
    const RewriteCase& rewrite = GetParam();
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    WriteBytes(path, rewrite.fileBytes);
    FileHostsChecker checker(path.string());
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);

    EXPECT_EQ(checker.Check(), rewrite.check);
    EXPECT_EQ(checker.RepairedContent(), rewrite.repaired);
    EXPECT_EQ(ReadBytes(path), rewrite.fileBytes);
}

INSTANTIATE_TEST_SUITE_P(FileBytes, HostsRewrite, ::testing::ValuesIn(RewriteCases()),
                         [](const ::testing::TestParamInfo<RewriteCase>& info) {
                             return std::string(info.param.name);
                         });

struct UnreadableCase {
    const char* name;
    std::string fileBytes;
};

void PrintTo(const UnreadableCase& unreadable, std::ostream* out) { *out << unreadable.name; }

class HostsNotByteText : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(HostsNotByteText, Check_IsInternalErrorAndBuildsNothing_ForFileBytes) {
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    FileHostsChecker checker(path.string());
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
    // a text from an earlier run must not survive into a repair
    ASSERT_EQ(checker.Check(), 1);
    WriteBytes(path, GetParam().fileBytes);

    EXPECT_EQ(checker.Check(), kHostsCheckInternalError);
    EXPECT_EQ(checker.RepairedContent(), "");
}

INSTANTIATE_TEST_SUITE_P(
    FileBytes, HostsNotByteText,
    ::testing::Values(UnreadableCase{"NulInLine", "# a\0b\r\n"s},
                      UnreadableCase{"NulAfterFirstChunk", std::string(70000, '#') + "\r\n\0"s},
                      UnreadableCase{"Utf16LittleEndian", "\xFF\xFE#\0 \0a\0\r\0\n\0"s},
                      UnreadableCase{"Utf16BigEndian", "\xFE\xFF\0#\0 \0a\0\r\0\n"s}),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) {
        return std::string(info.param.name);
    });

TEST(HostsRead, Check_IsInternalError_WhenReadingFails) {
    // a directory opens and then fails at the first read on Linux; Windows refuses to open it
    ScratchFolder folder;
    FileHostsChecker checker(folder.path.string());
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
    EXPECT_EQ(checker.Check(), kHostsCheckInternalError);
    EXPECT_EQ(checker.RepairedContent(), "");
}

TEST(HostsRead, Check_AppendsAllEntries_WhenFileMissingOrPathEmpty) {
    ScratchFolder folder;
    for (const std::string& path : {(folder.path / "absent.ics").string(), std::string()}) {
        FileHostsChecker checker(path);
        ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
        EXPECT_EQ(checker.Check(), 1) << path;
        EXPECT_EQ(checker.RepairedContent(), kMissingAppended) << path;
    }
}

TEST(HostsRead, Check_SeesEveryLine_WhenLinesCrossReadChunks) {
    // line lengths that put CR, LF and CR LF pairs on every side of 64 KiB boundaries
    std::string file;
    std::string expected;
    for (int i = 0; file.size() < 300000; ++i) {
        const std::string line = "10.0.0." + std::to_string(i % 250) + " host" + std::to_string(i) +
                                 std::string(static_cast<std::size_t>(i % 97), 'x');
        file += line + (i % 3 == 0 ? "\n" : "\r\n");
        expected += line + "\n";
    }
    file += kCanonical;
    expected += kCanonical + "\n";
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    WriteBytes(path, file);
    FileHostsChecker checker(path.string());
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);

    EXPECT_EQ(checker.Check(), 0);
    EXPECT_EQ(checker.RepairedContent(), expected);
}

TEST(HostsRead, Check_FixesEveryConfiguredLine_WhenSpreadOverReadChunks) {
    // configured names far apart, across 64 KiB boundaries, inside a line longer than a chunk and
    // inside longer host names
    const std::string name = "localhost.brevant.io";
    std::string file = "# " + std::string(70000, 'y') + " " + name + "\r\n";
    std::string expected = "# " + std::string(70000, 'y') + " " + name + "\n";
    bool first = true;
    for (int i = 0; i < 6000; ++i) {
        std::string line = "0.0.0.0 filler" + std::to_string(i) + ".example";
        std::string fixed = line;
        if (i % 500 == 250) {
            line = "10.0.0.9\t" + name + "  ";
            fixed = first ? kCanonical : "# 10.0.0.9\t" + name;
            first = false;
        } else if (i % 500 == 100) {
            line = fixed = "127.0.0.1 sub." + name;
        }
        file += line + "\r\n";
        expected += fixed + "\n";
    }
    expected += "10.1.1.1" + std::string(13, ' ') + "b.example\n";
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    WriteBytes(path, file);
    FileHostsChecker checker(path.string());
    ASSERT_EQ(LoadHostsSection(checker, "<hosts><h domain=\"" + name +
                                            "\" ip=\"127.0.0.1\"/><h domain=\"b.example\" "
                                            "ip=\"10.1.1.1\"/></hosts>"),
              0);

    EXPECT_EQ(checker.Check(), 1);
    EXPECT_EQ(checker.RepairedContent(), expected);
}

TEST(HostsConfig, LoadConfig_ReturnsTwoAndEmptiesEntries_ForEmptyNode) {
    FileHostsChecker checker("");
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), 2);
    EXPECT_TRUE(checker.Entries().empty());
}

TEST(HostsConfig, LoadConfig_KeepsFirstUsableEntryPerName_InDocumentOrder) {
    FileHostsChecker checker("");
    const int result = LoadHostsSection(
        checker,
        "<hosts><a domain=\"b.example\" ip=\"10.0.0.1\"/>"
        "<other domain=\"b.example\" ip=\"10.0.0.2\"/>"
        "<hosts1 domain=\"no-ip.example\"/><hosts1 domain=\"empty-ip.example\" ip=\"\"/>"
        "<hosts1 ip=\"10.0.0.3\"/><hosts1 domain=\"\" ip=\"10.0.0.4\"/>"
        "<hosts1 IP=\"10.0.0.5\" Domain=\"upper.example\"/>"
        "<hosts1 domain=\"a.example\" ip=\" 10.0.0.6 \"/></hosts>");
    EXPECT_EQ(result, 0);
    const std::map<std::string, std::string> expected = {{"a.example", " 10.0.0.6 "},
                                                         {"b.example", "10.0.0.1"}};
    EXPECT_EQ(checker.Entries(), expected);
}

TEST(HostsConfig, LoadConfig_ReturnsZero_ForElementWithoutUsableEntry) {
    FileHostsChecker checker("");
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
    EXPECT_EQ(LoadHostsSection(checker, "<hosts><hosts1 domain=\"x.example\"/></hosts>"), 0);
    EXPECT_TRUE(checker.Entries().empty());
}

TEST(HostsConfig, Check_ReturnsZeroWithoutReadingFile_WhenNothingConfigured) {
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    // this file would be an internal error if it were read
    WriteBytes(path, "\xFF\xFE"s);
    FileHostsChecker checker(path.string());
    EXPECT_EQ(checker.Check(), 0);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), 2);
    EXPECT_EQ(checker.Check(), 0);
    EXPECT_EQ(checker.RepairedContent(), "");
}

TEST(HostsConfig, Check_AppendsMissingNamesInByteOrder_WhateverTheConfigurationOrder) {
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    WriteBytes(path, "# keep\r\n10.0.0.9 b.example\r\n");
    FileHostsChecker checker(path.string());
    ASSERT_EQ(LoadHostsSection(checker,
                               "<hosts><h domain=\"\xC3\xA9.example\" ip=\"10.0.0.1\"/>"
                               "<h domain=\"b.example\" ip=\"10.0.0.2\"/>"
                               "<h domain=\"a.example.com\" ip=\"10.0.0.3\"/>"
                               "<h domain=\"a.example\" ip=\"10.0.0.4\"/>"
                               "<h domain=\"Z.example\" ip=\"10.0.0.5\"/></hosts>"),
              0);

    EXPECT_EQ(checker.Check(), 1);
    EXPECT_EQ(checker.RepairedContent(),
              "# keep\n"
              "10.0.0.2             b.example\n"
              "10.0.0.5             Z.example\n"
              "10.0.0.4             a.example\n"
              "10.0.0.3             a.example.com\n"
              "10.0.0.1             \xC3\xA9.example\n");
}

TEST(HostsConfig, Check_MatchesWholeNamesOnly_ForShortAndLongTables) {
    // a few names are matched in place, many through the table: both must agree
    for (const int extraNames : {0, 12}) {
        // a name with a blank in it is never a token of a line, so it is always missing
        std::vector<std::pair<std::string, std::string>> missing = {{"b b.example", "10.4.4.4"}};
        for (int i = 0; i < extraNames; ++i) {
            missing.emplace_back("h" + std::to_string(i) + ".example", "10.3.3.3");
        }
        std::string config =
            "<hosts><h domain=\"a.example\" ip=\"10.1.1.1\"/>"
            "<h domain=\"a.example.com\" ip=\"10.2.2.2\"/>";
        for (const auto& [name, address] : missing) {
            config += "<h domain=\"" + name + "\" ip=\"" + address + "\"/>";
        }
        config += "</hosts>";
        std::sort(missing.begin(), missing.end());
        ScratchFolder folder;
        const auto path = folder.path / "hosts.ics";
        WriteBytes(path,
                   "10.9.9.9 a.example.com\r\n"
                   "10.2.2.2 a.example.comX\r\n"
                   "10.1.1.1\ta.example\r\n"
                   "10.2.2.2 a.example\t# c\r\n"
                   "10.4.4.4 b b.example\r\n");
        FileHostsChecker checker(path.string());
        ASSERT_EQ(LoadHostsSection(checker, config), 0);

        std::string expected =
            "10.2.2.2             a.example.com\n"
            "10.2.2.2 a.example.comX\n"
            "10.1.1.1             a.example\n"
            "# 10.2.2.2 a.example\t# c\n"
            "10.4.4.4 b b.example\n";
        for (const auto& [name, address] : missing) {
            expected += address + "             " + name + "\n";
        }
        EXPECT_EQ(checker.Check(), 1) << extraNames;
        EXPECT_EQ(checker.RepairedContent(), expected) << extraNames;
    }
}

TEST(HostsLine, MakeHostsLine_PadsAddressToTwentyOneWithAtLeastFiveSpaces) {
    FileHostsChecker checker("");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"127.0.0.1", "127.0.0.1            h"},
        {"", "                     h"},
        {"123456789012345", "123456789012345      h"},
        {"1234567890123456", "1234567890123456     h"},
        {"fe80::1234:5678:9abc:def0", "fe80::1234:5678:9abc:def0     h"},
    };
    for (const auto& [address, line] : cases) {
        EXPECT_EQ(checker.MakeHostsLine("h", address), line) << address;
    }
}

TEST(HostsLine, Check_KeepsLongAddressCanonical_WithFiveSpaces) {
    ScratchFolder folder;
    const auto path = folder.path / "hosts.ics";
    const std::string canonical = "fe80::1234:5678:9abc:def0     v6.example";
    WriteBytes(path, canonical + "\r\n");
    FileHostsChecker checker(path.string());
    ASSERT_EQ(
        LoadHostsSection(
            checker, "<hosts><h domain=\"v6.example\" ip=\"fe80::1234:5678:9abc:def0\"/></hosts>"),
        0);
    EXPECT_EQ(checker.Check(), 0);
    EXPECT_EQ(checker.RepairedContent(), canonical + "\n");
}

TEST(HostsPath, HostsFilePath_JoinsOrIsEmpty_ByLength) {
    const std::string suffix = "\\drivers\\etc\\hosts.ics";
    const std::string longest(259 - suffix.size(), 'd');
    EXPECT_EQ(HostsFilePath("C:\\windows\\system32"), "C:\\windows\\system32" + suffix);
    EXPECT_EQ(HostsFilePath(""), "");
    EXPECT_EQ(HostsFilePath(longest), longest + suffix);
    EXPECT_EQ(HostsFilePath(longest + "d"), "");
}

TEST(HostsWrite, WriteWithCrLf_ExpandsEveryLineFeed_InAnyPieces) {
    std::string longLine(200000, 'y');
    // line feeds at every offset within eight-byte words
    std::string varied;
    std::string variedExpanded;
    for (int length = 0; length < 20; ++length) {
        varied += std::string(static_cast<std::size_t>(length), 'v') + "\n";
        variedExpanded += std::string(static_cast<std::size_t>(length), 'v') + "\r\n";
    }
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"", ""},
        {"a\n", "a\r\n"},
        {"a\nb\n\n", "a\r\nb\r\n\r\n"},
        {"no end", "no end"},
        {"cr\r\n", "cr\r\r\n"},
        {varied + "tail", variedExpanded + "tail"},
        {longLine + "\nz\n", longLine + "\r\nz\r\n"},
        {std::string(100000, '\n'),
         [] {
             std::string expanded;
             for (int i = 0; i < 100000; ++i) expanded += "\r\n";
             return expanded;
         }()},
    };
    for (const auto& [text, bytes] : cases) {
        std::string written;
        EXPECT_TRUE(WriteWithCrLf(text, [&written](const char* data, std::size_t size) {
            written.append(data, size);
            return true;
        }));
        EXPECT_EQ(written, bytes) << text.substr(0, 20);
    }
}

TEST(HostsWrite, WriteWithCrLf_StopsAndFails_WhenAWriteFails) {
    const std::string text(300000, '\n');
    int calls = 0;
    EXPECT_FALSE(WriteWithCrLf(text, [&calls](const char*, std::size_t) {
        ++calls;
        return calls < 2;
    }));
    EXPECT_EQ(calls, 2);
}

}  // namespace
