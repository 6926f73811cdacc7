// WinHostsChecker against the real hosts file of the Wine prefix. Every test puts back the file as
// it found it, since the prefix is shared with the other tests.
#include <windows.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "hosts_test_support.h"
#include "machine_state.h"
#include "win_hosts_checker.h"
#include "wine_support.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

class WinHostsFile : public ::testing::Test {
protected:
    // starts without the file and its backup; the machine state puts both back afterwards
    void SetUp() override {
        folder = fs::path(path).parent_path();
        fs::create_directories(folder);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        MachineState::RemoveHosts();
        DeleteTree(MachineState::HostsBackupPath());
        before = Listing();
        ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), ConfigLoaded);
    }

    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(folder)) {
            names.insert(item.path().filename().string());
        }
        return names;
    }

    // after a repair the folder holds what it held before, the hosts file, and its backup when an
    // existing file was replaced
    void ExpectNoLeftovers(bool replaced = false) const {
        std::set<std::string> expected = before;
        expected.insert("hosts.ics");
        if (replaced) {
            expected.insert("hosts.ics.bak");
        }
        EXPECT_EQ(Listing(), expected);
    }

    MachineState state;
    const std::string path = MachineState::HostsPath();
    fs::path folder;
    std::set<std::string> before;
    const std::unique_ptr<RepairLog> log = CreateRepairLog("Brevant");
    WinHostsChecker checker{*log};
};

TEST_F(WinHostsFile, GetHostsFilePath_IsUnderSystemDirectory) {
    EXPECT_EQ(checker.GetHostsFilePath(), path);
    EXPECT_EQ(WinHostsChecker::SystemHostsFilePath(), path);
}

TEST_F(WinHostsFile, Repair_CreatesFileWithCrLf_WhenMissing) {
    ASSERT_EQ(checker.Check(), CheckWrong);
    EXPECT_EQ(checker.Repair(), Repaired);
    EXPECT_EQ(ReadFileBytes(path), kCanonical + "\r\n");
    ExpectNoLeftovers();

    // the next run finds the file right
    WinHostsChecker nextRun(*log);
    ASSERT_EQ(LoadHostsSection(nextRun, kDefaultHosts), ConfigLoaded);
    EXPECT_EQ(nextRun.Check(), CheckCorrect);
    EXPECT_EQ(ReadFileBytes(path), kCanonical + "\r\n");
}

TEST_F(WinHostsFile, Repair_RewritesInPlaceWithCrLfAndKeepsHidden_ForExistingFile) {
    WriteFileBytes(path, "# head\n10.0.0.1 localhost.brevant.io\r\n\x1a tail\r\n1.2.3.4 other"s);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(checker.Check(), CheckWrong);

    EXPECT_EQ(checker.Repair(), Repaired);
    EXPECT_EQ(ReadFileBytes(path),
              "# head\r\n" + kCanonical + "\r\n\x1a tail\r\n1.2.3.4 other\r\n");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN,
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    ExpectNoLeftovers(true);
}

TEST_F(WinHostsFile, Repair_WritesTheFileAsItIsNow_WhenChangedAfterTheCheck) {
    const std::string checked = "# a\r\n";  // the rules would only append to it
    const struct {
        const char* name;
        std::string now;
        std::string repaired;
    } cases[] = {
        {"StillOnlyAppended", "# a\r\n# b\r\n", "# a\r\n# b\r\n" + kCanonical + "\r\n"},
        {"EntryWrongNow", "10.0.0.1 localhost.brevant.io\n# a\r\n", kCanonical + "\r\n# a\r\n"},
        {"Emptied", "", kCanonical + "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(path, checked);
        ASSERT_EQ(checker.Check(), CheckWrong);
        WriteFileBytes(path, c.now);
        EXPECT_EQ(checker.Repair(), Repaired);
        EXPECT_EQ(ReadFileBytes(path), c.repaired);
        EXPECT_EQ(ReadFileBytes(MachineState::HostsBackupPath()), c.now);
    }
    ExpectNoLeftovers(true);
}

TEST_F(WinHostsFile, Repair_FailsAndKeepsFile_WhenHeldOpenByAnother) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# keep me\r\n";
    WriteFileBytes(path, original);
    ASSERT_EQ(checker.Check(), CheckWrong);
    {
        const UniqueFileHandle holder(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    }
    EXPECT_EQ(ReadFileBytes(path), original);
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Check_IsInternalErrorAndKeepsFile_WhenFileCannotBeRead) {
    const std::string original = kCanonical + "\r\n# keep me\r\n";
    WriteFileBytes(path, original);
    {
        const UniqueFileHandle holder(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        // read as empty, the file would be rewritten with the entry alone
        EXPECT_EQ(checker.Check(), CheckInternalError);
        EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    }
    EXPECT_EQ(ReadFileBytes(path), original);
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Repair_FailsAndKeepsFile_WhenReadOnly) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# keep me\r\n";
    WriteFileBytes(path, original);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(checker.Check(), CheckWrong);

    EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    EXPECT_EQ(ReadFileBytes(path), original);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Repair_FailsAndKeepsFile_AfterCheckFoundNoByteText) {
    // the text an earlier check built must not survive into this repair
    WriteFileBytes(path, "10.0.0.1 localhost.brevant.io\r\n");
    ASSERT_EQ(checker.Check(), CheckWrong);
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# \0 keep me\r\n"s;
    WriteFileBytes(path, original);
    ASSERT_EQ(checker.Check(), CheckInternalError);

    EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    EXPECT_EQ(ReadFileBytes(path), original);
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Check_IsInternalError_WhenPathIsAFolder) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    EXPECT_EQ(checker.Check(), CheckInternalError);
    EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    EXPECT_TRUE(fs::is_directory(path));
    RemoveDirectoryA(path.c_str());
}

TEST_F(WinHostsFile, Repair_KeepsEveryLine_OfAFileLargerThanOneRead) {
    std::string original;
    for (int i = 0; original.size() < 300000; ++i) {
        original += "0.0.0.0 filler" + std::to_string(i) + ".example\r\n";
    }
    WriteFileBytes(path, original);
    ASSERT_EQ(checker.Check(), CheckWrong);

    EXPECT_EQ(checker.Repair(), Repaired);
    EXPECT_EQ(ReadFileBytes(path), original + kCanonical + "\r\n");
    ExpectNoLeftovers(true);
}

// The file's identity on its volume, the same for every name of it; 0 when it cannot be opened.
ULONGLONG FileIndex(const std::string& name) {
    const UniqueFileHandle file(CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file || !GetFileInformationByHandle(file.get(), &information)) {
        return 0;
    }
    return (ULONGLONG{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
}

TEST_F(WinHostsFile, Repair_KeepsReplacedFileAsBackupAndLeavesLinkedFile_WhenBackupIsAHardLink) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# keep me\r\n";
    WriteFileBytes(path, original);
    const ULONGLONG replacedIndex = FileIndex(path);
    ASSERT_NE(replacedIndex, 0u);
    // an earlier backup that is another name of a read-only file elsewhere
    const TempFolder elsewhere;
    const std::string other = elsewhere.Path() + "other.txt";
    const std::string otherBytes = "another file's bytes\r\n";
    WriteFileBytes(other, otherBytes);
    ASSERT_TRUE(CreateHardLinkA(MachineState::HostsBackupPath().c_str(), other.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_READONLY));
    const DWORD otherAttributes = GetFileAttributesA(other.c_str());
    ASSERT_EQ(checker.Check(), CheckWrong);

    EXPECT_EQ(checker.Repair(), Repaired);
    EXPECT_EQ(GetFileAttributesA(other.c_str()), otherAttributes);
    EXPECT_EQ(ReadFileBytes(other), otherBytes);
    EXPECT_EQ(FileIndex(MachineState::HostsBackupPath()), replacedIndex);
    EXPECT_EQ(ReadFileBytes(MachineState::HostsBackupPath()), original);
    EXPECT_EQ(ReadFileBytes(path), kCanonical + "\r\n# keep me\r\n");
    ExpectNoLeftovers(true);
    SetFileAttributesA(other.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// No path to use: the system directory cannot be had (there is no file to read or to write), or a
// path does not come through to UTF-16 whole (no other file may be read or replaced in its place).
TEST(WinHostsNoPath, Check_FindsNothingToReadAndRepairFails_WhenThereIsNoPathToUse) {
    const struct {
        std::string path;
        CheckCode check;
    } cases[] = {
        {"", CheckWrong},
        {"C:\\windows\\system32\\drivers\\etc\\hosts\xFF.ics", CheckInternalError},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const std::unique_ptr<RepairLog> log = CreateRepairLog("Brevant");
        WinHostsChecker checker(*log, c.path);
        ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), ConfigLoaded);
        EXPECT_EQ(checker.Check(), c.check);
        EXPECT_EQ(checker.Repair(), HostsRepairFailed);
    }
}

}  // namespace
