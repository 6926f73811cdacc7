// The hosts check and repair over a file in memory: the mode each file takes (the copy of a file
// the rules only append to, the rewrite, the backup or the note of its absence), and what a failing
// step leaves of the file, its backup and the log.
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hosts_test_support.h"

namespace {

// the built-in entry; a literal, as kDomain of another file may not be made yet
const HostsEntries kEntries = {{"localhost.brevant.io", "127.0.0.1"}};
const std::string kWrong = "10.0.0.1 localhost.brevant.io\r\n";
const std::string kEarlier = "an earlier backup\r\n";

// A check of checked and then a repair of the file as it is then; the file keeps its changes.
RepairResult CheckAndRepair(FakeHostsFile& file, FakeRepairLog& log, CheckCode check,
                            const std::optional<std::string>& checked,
                            const std::optional<std::string>& repaired) {
    HostsPlan plan;
    file.bytes = checked;
    file.backup = kEarlier;
    EXPECT_EQ(CheckHostsFile(file, kEntries, plan), check);
    file.bytes = repaired;
    return RepairHostsFile(file, kEntries, plan, log);
}

TEST(HostsRepair, RepairHostsFile_CopiesOrRewritesTheFileAsItIsAtTheRepair_AndBacksItUp) {
    const std::string fixed = kCanonical + "\r\n";
    const std::string note =
        "hosts backup not made: C:\\windows\\system32\\drivers\\etc\\hosts.ics.bak (error 5)";
    const struct {
        const char* name;
        std::optional<std::string> checked, repaired, file, backup;
        const char* fails;  // a step whose failure the repair goes past
    } cases[] = {
        {"absent", std::nullopt, std::nullopt, fixed, kEarlier, nullptr},
        {"only appended: copied", "# a\r\n", "# a\r\n", "# a\r\n" + fixed, "# a\r\n", nullptr},
        {"still only appended", "# a\r\n", "# b\r\n", "# b\r\n" + fixed, "# b\r\n", nullptr},
        {"wrong since the check", "# a\r\n", kWrong, fixed, kWrong, nullptr},
        {"rewritten", kWrong, kWrong, fixed, kWrong, nullptr},
        {"no backup, noted", kWrong, kWrong, fixed, kEarlier, "backup"},
    };
    for (const auto& c : cases) {
        FakeHostsFile file;
        FakeRepairLog log;
        if (c.fails != nullptr) file.fails[c.fails] = 5;
        EXPECT_EQ(CheckAndRepair(file, log, CheckWrong, c.checked, c.repaired), Repaired) << c.name;
        EXPECT_EQ(file.bytes, c.file) << c.name;
        EXPECT_EQ(file.backup, c.backup) << c.name;
        EXPECT_EQ(log.lines, c.fails ? std::vector<std::string>{note} : std::vector<std::string>{})
            << c.name;
    }
}

TEST(HostsRepair, RepairHostsFile_LeavesFileAndBackupAsTheyWere_WhenAStepFails) {
    const struct {
        const char* fails;
        unsigned long error;
        unsigned long logRefuses;
        CheckCode check;
        const char* step;  // the step the repair names
        unsigned long named;
    } cases[] = {
        {"open", 5, 0, CheckInternalError, "prepare text", 0},
        {"read-only", 1, 0, CheckWrong, "read-only file", 6009},
        {"folder", 1, 0, CheckWrong, "folder in the file's place", 5},
        {"read", 23, 0, CheckInternalError, "prepare text", 0},
        {"create", 80, 0, CheckWrong, "create temporary file", 80},
        {"write", 112, 0, CheckWrong, "write", 112},
        {"flush", 21, 0, CheckWrong, "flush", 21},
        {"attributes", 5, 0, CheckWrong, "set attributes", 5},
        {"await", 32, 0, CheckWrong, "replace", 32},
        {"backup", 5, 112, CheckWrong, "backup", 5},
        {"replace", 32, 0, CheckWrong, "replace", 32},
    };
    for (const auto& c : cases) {
        FakeHostsFile file;
        FakeRepairLog log;
        file.fails[c.fails] = c.error;
        log.refuse = c.logRefuses;
        const RepairResult result = CheckAndRepair(file, log, c.check, "# a\r\n", "# a\r\n");
        EXPECT_EQ(result.code, HostsRepairFailed) << c.fails;
        EXPECT_EQ(result.step, c.step) << c.fails;
        EXPECT_EQ(result.error, c.named) << c.fails;
        EXPECT_EQ(file.bytes, "# a\r\n") << c.fails;
        EXPECT_EQ(file.backup, kEarlier) << c.fails;
        EXPECT_TRUE(log.lines.empty()) << c.fails;
    }
}

}  // namespace
