// The hosts rules over file bytes, against their expected results and the plain line-by-line
// reference: built natively (sanitizers) and for Windows (run under Wine), so both platforms must
// produce the same bytes.
#include <algorithm>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "hosts_checker.h"
#include "hosts_reference.h"
#include "hosts_test_support.h"
#include "line_scan.h"

using namespace std::string_literals;

namespace {

// A checker for the parts that do not touch the file: its file is a fake, opened as built counts.
class ConfigOnlyHostsChecker : public HostsChecker {
public:
    CheckCode Check() override { return CheckHostsFile(file, entries, plan); }
    RepairResult Repair() override { return RepairResult{HostsRepairFailed, "", 0}; }
    const HostsEntries& Entries() const { return entries; }
    const std::string& RepairedContent() const { return plan.text; }

    FakeHostsFile file;
    HostsPlan plan;
    int& built = file.opened;
};

const HostsEntries kDefaultEntries = {{kDomain, "127.0.0.1"}};
const std::string kMissingAppended = kCanonical + "\n";

// Expects the rewrite (whole, and read in pieces) and the reference all to give check and text.
void ExpectRewrite(const std::string& bytes, const HostsEntries& entries, int check,
                   const std::string& text) {
    const HostsRewrite rewrite = RewriteHosts(bytes, entries);
    EXPECT_EQ(rewrite.check, check);
    EXPECT_EQ(rewrite.text, text);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{4093}}) {
        // one byte at a time costs a pass over the carried line each time
        if (piece == 1 && bytes.size() > 10000) {
            continue;
        }
        const HostsRewrite pieces = RewriteInPieces(bytes, piece, entries);
        EXPECT_EQ(pieces.check, check) << "pieces of " << piece;
        EXPECT_EQ(pieces.text, text) << "pieces of " << piece;
    }
    const HostsRewrite reference = ReferenceRewrite(bytes, entries);
    EXPECT_EQ(reference.check, check) << "reference";
    EXPECT_EQ(reference.text, text) << "reference";
    // where the rules only append, the file's bytes and the appended lines are the same file
    std::string copied;
    if (OnlyAppendedInPieces(bytes, 4093, entries, copied).unchanged) {
        EXPECT_EQ(copied, bytes);
        EXPECT_EQ(copied + AppendedLines(entries), WrittenWithCrLf(text));
    }
}

struct RewriteCase {
    const char* name;
    std::string fileBytes;
    int check;
    std::string repaired;
    HostsEntries entries = kDefaultEntries;
};

void PrintTo(const RewriteCase& rewrite, std::ostream* out) { *out << rewrite.name; }

std::vector<RewriteCase> RewriteCases() {
    const std::string v6 = "fe80::1234:5678:9abc:def0     v6.example";
    return {
        {"EmptyFile", "", CheckWrong, kMissingAppended},
        {"CanonicalLine", kCanonical + "\r\n", CheckCorrect, kMissingAppended},
        {"CanonicalLineWithLfOnly", "# a\n" + kCanonical + "\n", CheckCorrect,
         "# a\n" + kMissingAppended},
        {"TabSeparated", "127.0.0.1\tlocalhost.brevant.io\r\n", CheckCorrect, kMissingAppended},
        {"BlanksAround", " \t" + kCanonical + " \t\r\n", CheckCorrect, kMissingAppended},
        {"OtherAddressInPlace",
         "# head\r\n  10.0.0.1 localhost.brevant.io\r\n1.2.3.4   other.example  \r\n", CheckWrong,
         "# head\n" + kCanonical + "\n1.2.3.4   other.example  \n"},
        {"AliasDropped", "127.0.0.1 localhost.brevant.io alias\r\n", CheckWrong, kMissingAppended},
        {"TrailingCommentDropped", "127.0.0.1 localhost.brevant.io # local\r\n", CheckWrong,
         kMissingAppended},
        {"DuplicateCommentedOut",
         "127.0.0.1 localhost.brevant.io\r\n  10.0.0.1\tlocalhost.brevant.io  \r\n", CheckWrong,
         kCanonical + "\n# 10.0.0.1\tlocalhost.brevant.io\n"},
        {"OnlyInComment", "# 127.0.0.1 localhost.brevant.io\r\n", CheckWrong,
         "# 127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"OnlyInIndentedComment", "  \t#127.0.0.1 localhost.brevant.io\r\n", CheckWrong,
         "  \t#127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"OtherLetterCase", "127.0.0.1 Localhost.Brevant.io\r\n", CheckWrong,
         "127.0.0.1 Localhost.Brevant.io\n" + kMissingAppended},
        {"NameAsThirdToken", "127.0.0.1 other localhost.brevant.io\r\n", CheckWrong,
         "127.0.0.1 other localhost.brevant.io\n" + kMissingAppended},
        {"AddressOnly", "  127.0.0.1  \r\n", CheckWrong, "  127.0.0.1  \n" + kMissingAppended},
        {"LastLineWithoutEnd", "1.2.3.4 other\r\n" + kCanonical, CheckCorrect,
         "1.2.3.4 other\n" + kMissingAppended},
        {"BlankLinesKept", "\r\n" + kCanonical + "\r\n \t\r\n\n", CheckCorrect,
         "\n" + kCanonical + "\n \t\n\n"},
        {"LoneCrStaysInLine", "# a\rb\r\n# c\r\r\n" + kCanonical + "\r\n", CheckCorrect,
         "# a\rb\n# c\r\n" + kMissingAppended},
        {"LoneCrAtEndStays", kCanonical + "\r\n# tail\r", CheckCorrect,
         kMissingAppended + "# tail\r\n"},
        {"CtrlZKeepsTheRest", "# a\x1a b\r\n1.2.3.4 other\r\n", CheckWrong,
         "# a\x1a b\n1.2.3.4 other\n" + kMissingAppended},
        {"Utf8MarkMakesCommentAnEntryLine", "\xEF\xBB\xBF# 127.0.0.1 localhost.brevant.io\r\n",
         CheckWrong, "\xEF\xBB\xBF# 127.0.0.1 localhost.brevant.io\n" + kMissingAppended},
        {"Utf8MarkSpoilsAddress",
         "\xEF\xBB\xBF"
         "127.0.0.1 localhost.brevant.io\r\n",
         CheckWrong, kMissingAppended},
        {"HighBytesAreNoWhitespace", "127.0.0.1\xA0localhost.brevant.io\r\n", CheckWrong,
         "127.0.0.1\xA0localhost.brevant.io\n" + kMissingAppended},
        {"NulInLine", "# a\0b\r\n"s, CheckInternalError, ""},
        {"NulAfterFirstRegion", std::string(70000, '#') + "\r\n\0"s, CheckInternalError, ""},
        {"Utf16LittleEndian", "\xFF\xFE#\0 \0a\0\r\0\n\0"s, CheckInternalError, ""},
        {"Utf16BigEndian", "\xFE\xFF\0#\0 \0a\0\r\0\n"s, CheckInternalError, ""},
        {"LongAddressKeptWithFiveBlanks",
         v6 + "\r\n",
         CheckCorrect,
         v6 + "\n",
         {{"v6.example", "fe80::1234:5678:9abc:def0"}}},
        {"NothingConfigured", "a b\r\nc\r", CheckCorrect, "a b\nc\r\n", {}},
    };
}

class HostsRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(HostsRewriteTest, RewriteHosts_GivesCodeAndText_ForFileBytes) {
    const RewriteCase& rewrite = GetParam();
    ExpectRewrite(rewrite.fileBytes, rewrite.entries, rewrite.check, rewrite.repaired);
}

INSTANTIATE_TEST_SUITE_P(FileBytes, HostsRewriteTest, ::testing::ValuesIn(RewriteCases()),
                         [](const ::testing::TestParamInfo<RewriteCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(HostsRewriteTest, RewriteHosts_SeesEveryLine_WhenLinesCrossRegions) {
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
    ExpectRewrite(file, kDefaultEntries, CheckCorrect, expected);
}

TEST(HostsRewriteTest, RewriteHosts_FixesEveryConfiguredLine_WhenSpreadOverRegions) {
    // configured names far apart, across 64 KiB boundaries, inside a line longer than a region and
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
    ExpectRewrite(file, {{name, "127.0.0.1"}, {"b.example", "10.1.1.1"}}, CheckWrong, expected);
}

TEST(HostsRewriteTest, RewriteHosts_MatchesWholeNamesOnly_ForFewAndManyNames) {
    for (const int extraNames : {0, 12}) {
        // a name with a blank in it is never a token of a line, so it is always missing
        HostsEntries entries = {
            {"a.example", "10.1.1.1"}, {"a.example.com", "10.2.2.2"}, {"b b.example", "10.4.4.4"}};
        for (int i = 0; i < extraNames; ++i) {
            entries.emplace("h" + std::to_string(i) + ".example", "10.3.3.3");
        }
        std::string expected =
            "10.2.2.2             a.example.com\n"
            "10.2.2.2 a.example.comX\n"
            "10.1.1.1             a.example\n"
            "# 10.2.2.2 a.example\t# c\n"
            "10.4.4.4 b b.example\n";
        for (const auto& [name, address] : entries) {
            if (name != "a.example" && name != "a.example.com") {
                expected += address + "             " + name + "\n";
            }
        }
        SCOPED_TRACE(extraNames);
        ExpectRewrite(
            "10.9.9.9 a.example.com\r\n"
            "10.2.2.2 a.example.comX\r\n"
            "10.1.1.1\ta.example\r\n"
            "10.2.2.2 a.example\t# c\r\n"
            "10.4.4.4 b b.example\r\n",
            entries, CheckWrong, expected);
    }
}

TEST(HostsRewriteTest, ReadOnlyAppended_CopiesOnlyFilesTheRulesAppendTo_InAnyPieces) {
    const std::string region(65536 - 3, '#');  // a piece of the scan ends three bytes after it
    const struct {
        const char* name;
        std::string bytes;
        bool unchanged;
    } cases[] = {
        {"Empty", "", true},
        {"CrLfLines", "# a\r\n\r\n1.2.3.4 other\r\n", true},
        {"LoneCrInLine", "# a\rb\r\r\n", true},
        {"LfOnly", "# a\r\n# b\n", false},
        {"LfFirst", "\n", false},
        {"LastLineWithoutEnd", "# a\r\n# b", false},
        {"LoneCrAtEnd", "# a\r", false},
        {"Nul", "# a\0\r\n"s, false},
        {"Utf16Mark", "\xFF\xFE# a\r\n", false},
        {"NameInComment", "# " + kDomain + "\r\n", false},
        {"NameAcrossPieces", region + "# " + kDomain + "\r\n", false},
        {"CrLfAcrossPieces", region + "ab\r\n", true},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            if (piece == 1 && c.bytes.size() > 1000) continue;
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            std::string copied;
            const UnchangedRead read =
                OnlyAppendedInPieces(c.bytes, piece, kDefaultEntries, copied);
            EXPECT_EQ(read.unchanged, c.unchanged);
            EXPECT_FALSE(read.copyFailed);
            if (c.unchanged) {
                EXPECT_EQ(copied, c.bytes);
            }
        }
    }
    EXPECT_EQ(AppendedLines({{"b.example", "10.0.0.2"}, {"a.example", "10.0.0.1"}}),
              "10.0.0.1             a.example\r\n10.0.0.2             b.example\r\n");

    // a copy that refuses a piece stops the reading
    int pieces = 0;
    const UnchangedRead refused =
        ReadOnlyAppended(ReaderInPieces(region + "\r\n", 4096), kDefaultEntries,
                         [&pieces](const char*, std::size_t) { return ++pieces < 2; });
    EXPECT_FALSE(refused.unchanged);
    EXPECT_TRUE(refused.copyFailed);
    EXPECT_EQ(pieces, 2);
}

TEST(HostsConfig, LoadConfig_ReturnsMissingAndEmptiesEntries_ForEmptyNode) {
    ConfigOnlyHostsChecker checker;
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), ConfigLoaded);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), HostsConfigMissing);
    EXPECT_TRUE(checker.Entries().empty());
}

TEST(HostsConfig, LoadConfig_KeepsFirstUsableEntryPerName_InDocumentOrder) {
    ConfigOnlyHostsChecker checker;
    const int result = LoadHostsSection(
        checker,
        "<hosts><a domain=\"b.example\" ip=\"10.0.0.1\"/>"
        "<other domain=\"b.example\" ip=\"10.0.0.2\"/>"
        "<hosts1 domain=\"no-ip.example\"/><hosts1 domain=\"empty-ip.example\" ip=\"\"/>"
        "<hosts1 ip=\"10.0.0.3\"/><hosts1 domain=\"\" ip=\"10.0.0.4\"/>"
        "<hosts1 IP=\"10.0.0.5\" Domain=\"upper.example\"/>"
        "<hosts1 domain=\"a.example\" ip=\" 10.0.0.6 \"/></hosts>");
    EXPECT_EQ(result, ConfigLoaded);
    const HostsEntries expected = {{"a.example", " 10.0.0.6 "}, {"b.example", "10.0.0.1"}};
    EXPECT_EQ(checker.Entries(), expected);
}

TEST(HostsConfig, LoadConfig_AcceptsElementWithoutUsableEntry) {
    ConfigOnlyHostsChecker checker;
    ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), ConfigLoaded);
    EXPECT_EQ(LoadHostsSection(checker, "<hosts><hosts1 domain=\"x.example\"/></hosts>"),
              ConfigLoaded);
    EXPECT_TRUE(checker.Entries().empty());
}

TEST(HostsConfig, Check_IsCorrectWithoutReadingFile_WhenNothingConfigured) {
    ConfigOnlyHostsChecker checker;
    EXPECT_EQ(checker.Check(), CheckCorrect);
    EXPECT_EQ(checker.LoadConfig(pugi::xml_node()), HostsConfigMissing);
    EXPECT_EQ(checker.Check(), CheckCorrect);
    EXPECT_EQ(checker.built, 0);
    EXPECT_EQ(checker.RepairedContent(), "");
}

TEST(HostsConfig, Check_AppendsMissingNamesInByteOrder_WhateverTheConfigurationOrder) {
    ConfigOnlyHostsChecker checker;
    ASSERT_EQ(LoadHostsSection(checker,
                               "<hosts><h domain=\"\xC3\xA9.example\" ip=\"10.0.0.1\"/>"
                               "<h domain=\"b.example\" ip=\"10.0.0.2\"/>"
                               "<h domain=\"a.example.com\" ip=\"10.0.0.3\"/>"
                               "<h domain=\"a.example\" ip=\"10.0.0.4\"/>"
                               "<h domain=\"Z.example\" ip=\"10.0.0.5\"/></hosts>"),
              ConfigLoaded);

    ExpectRewrite("# keep\r\n10.0.0.9 b.example\r\n", checker.Entries(), CheckWrong,
                  "# keep\n"
                  "10.0.0.2             b.example\n"
                  "10.0.0.5             Z.example\n"
                  "10.0.0.4             a.example\n"
                  "10.0.0.3             a.example.com\n"
                  "10.0.0.1             \xC3\xA9.example\n");
}

TEST(HostsLine, MakeHostsLine_PadsAddressToTwentyOneWithAtLeastFiveSpaces) {
    ConfigOnlyHostsChecker checker;
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
