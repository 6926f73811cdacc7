// The hosts check and repair over a file in memory: which mode a file takes (the copy of a file the
// rules only append to, the rewrite, the backup or the note of its absence), and what each failing
// step leaves of the file, its backup and the log.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hosts_test_support.h"

namespace {

// the built-in entry; a literal, as kDomain of another file may not be made yet
const HostsEntries kEntries = {{"localhost.brevant.io", "127.0.0.1"}};
const std::string kWrong = "10.0.0.1 localhost.brevant.io\r\n";
const std::string kNote =
    "hosts backup not made: C:\\windows\\system32\\drivers\\etc\\hosts.ics.bak (error 5)";

struct RepairCase {
    const char* name;
    std::optional<std::string> checked;   // the file at the check; none: absent
    std::optional<std::string> repaired;  // the file at the repair
    std::map<std::string, unsigned long> fails;
    unsigned long logRefuses;
    CheckCode check;
    RepairResult result;
    std::optional<std::string> file;  // the file after the repair
    std::optional<std::string> backup;
    std::vector<std::string> logged;
};

TEST(HostsRepair, RepairHostsFile_TakesEachFileItsWay_AndLeavesItAsItWasWhenAStepFails) {
    const std::string fixed = kCanonical + "\r\n";
    const std::string appended = "# a\r\n" + fixed;
    const auto failed = [](const char* step, unsigned long error) {
        return RepairResult{HostsRepairFailed, step, error};
    };
    const RepairCase cases[] = {
        {"absent", std::nullopt, std::nullopt, {}, 0, CheckWrong, {}, fixed, std::nullopt, {}},
        {"only appended: copied",
         "# a\r\n",
         "# a\r\n",
         {},
         0,
         CheckWrong,
         {},
         appended,
         "# a\r\n",
         {}},
        {"only appended still",
         "# a\r\n",
         "# a\r\n# b\r\n",
         {},
         0,
         CheckWrong,
         {},
         "# a\r\n# b\r\n" + fixed,
         "# a\r\n# b\r\n",
         {}},
        {"wrong since the check",
         "# a\r\n",
         kWrong + "# a\r\n",
         {},
         0,
         CheckWrong,
         {},
         fixed + "# a\r\n",
         kWrong + "# a\r\n",
         {}},
        {"rewritten", kWrong, kWrong, {}, 0, CheckWrong, {}, fixed, kWrong, {}},
        {"unreadable",
         kWrong,
         kWrong,
         {{"open", 5}},
         0,
         CheckInternalError,
         failed("prepare text", 0),
         kWrong,
         std::nullopt,
         {}},
        {"a read fails",
         kWrong,
         kWrong,
         {{"read", 23}},
         0,
         CheckInternalError,
         failed("prepare text", 0),
         kWrong,
         std::nullopt,
         {}},
        {"no backup: noted",
         kWrong,
         kWrong,
         {{"backup", 5}},
         0,
         CheckWrong,
         {},
         fixed,
         std::nullopt,
         {kNote}},
        {"no backup, no note",
         kWrong,
         kWrong,
         {{"backup", 5}},
         112,
         CheckWrong,
         failed("backup", 5),
         kWrong,
         std::nullopt,
         {}},
        {"no temporary",
         kWrong,
         kWrong,
         {{"create", 80}},
         0,
         CheckWrong,
         failed("create temporary file", 80),
         kWrong,
         std::nullopt,
         {}},
        {"disk full",
         "# a\r\n",
         "# a\r\n",
         {{"write", 112}},
         0,
         CheckWrong,
         failed("write", 112),
         "# a\r\n",
         std::nullopt,
         {}},
        {"no flush",
         kWrong,
         kWrong,
         {{"flush", 21}},
         0,
         CheckWrong,
         failed("flush", 21),
         kWrong,
         std::nullopt,
         {}},
        {"no attributes",
         kWrong,
         kWrong,
         {{"attributes", 5}},
         0,
         CheckWrong,
         failed("set attributes", 5),
         kWrong,
         std::nullopt,
         {}},
        {"held throughout",
         kWrong,
         kWrong,
         {{"await", 32}},
         0,
         CheckWrong,
         failed("replace", 32),
         kWrong,
         std::nullopt,
         {}},
        {"not replaced: the earlier backup back",
         kWrong,
         kWrong,
         {{"replace", 32}},
         0,
         CheckWrong,
         failed("replace", 32),
         kWrong,
         std::nullopt,
         {}},
    };
    for (const RepairCase& c : cases) {
        FakeHostsFile file;
        FakeRepairLog log;
        HostsPlan plan;
        file.bytes = c.checked;
        file.fails = c.fails;
        log.refuse = c.logRefuses;
        EXPECT_EQ(CheckHostsFile(file, kEntries, plan), c.check) << c.name;
        file.bytes = c.repaired;
        const RepairResult result = RepairHostsFile(file, kEntries, plan, log);
        EXPECT_EQ(result.code, c.result.code) << c.name;
        EXPECT_EQ(result.step, c.result.step) << c.name;
        EXPECT_EQ(result.error, c.result.error) << c.name;
        EXPECT_EQ(file.bytes, c.file) << c.name;
        EXPECT_EQ(file.backup, c.backup) << c.name;
        EXPECT_EQ(log.lines, c.logged) << c.name;
    }
}

TEST(HostsRepair, RepairHostsFile_RefusesWhatIsNoFileOfItsOwn_AndAnEmptyPath) {
    const struct {
        const char* name;
        HostsFile::Place place;
        std::string path;
        RepairResult result;
    } cases[] = {
        {"read-only",
         {true, true, false},
         "hosts.ics",
         {HostsRepairFailed, "read-only file", 6009}},
        {"a folder",
         {true, false, true},
         "hosts.ics",
         {HostsRepairFailed, "folder in the file's place", 5}},
        {"no path", {}, "", {HostsRepairFailed, "prepare text", 0}},
    };
    for (const auto& c : cases) {
        FakeHostsFile file;
        FakeRepairLog log;
        HostsPlan plan;
        file.path = c.path;
        file.bytes = kWrong;
        ASSERT_EQ(CheckHostsFile(file, kEntries, plan), CheckWrong) << c.name;
        file.place = c.place;
        const RepairResult result = RepairHostsFile(file, kEntries, plan, log);
        EXPECT_EQ(result.step, c.result.step) << c.name;
        EXPECT_EQ(result.error, c.result.error) << c.name;
        EXPECT_EQ(file.bytes, kWrong) << c.name;
    }
}

}  // namespace
