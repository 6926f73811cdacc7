// WinHostsChecker against the real hosts file of the Wine prefix. Every test puts back the file as
// it found it, since the prefix is shared with the other tests.
#include <windows.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "hosts_test_support.h"
#include "win_hosts_checker.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

std::string ExpectedPath() {
    char directory[MAX_PATH] = {};
    EXPECT_NE(GetSystemDirectoryA(directory, MAX_PATH), 0u);
    return std::string(directory) + "\\drivers\\etc\\hosts.ics";
}

class WinHostsFile : public ::testing::Test {
protected:
    void SetUp() override {
        path = ExpectedPath();
        folder = fs::path(path).parent_path();
        fs::create_directories(folder);
        existed = fs::exists(path);
        if (existed) {
            attributes = GetFileAttributesA(path.c_str());
            saved = ReadBytes(path);
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        fs::remove(path);
        before = Listing();
        ASSERT_EQ(LoadHostsSection(checker, kDefaultHosts), 0);
    }

    void TearDown() override {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ignored;
        fs::remove(path, ignored);
        if (existed) {
            WriteBytes(path, saved);
            SetFileAttributesA(path.c_str(), attributes);
        }
    }

    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(folder)) {
            names.insert(item.path().filename().string());
        }
        return names;
    }

    // after a repair the folder holds what it held before, and the hosts file
    void ExpectNoLeftovers() const {
        std::set<std::string> expected = before;
        expected.insert("hosts.ics");
        EXPECT_EQ(Listing(), expected);
    }

    std::string path;
    fs::path folder;
    bool existed = false;
    DWORD attributes = 0;
    std::string saved;
    std::set<std::string> before;
    WinHostsChecker checker;
};

TEST_F(WinHostsFile, GetHostsFilePath_IsUnderSystemDirectory) {
    EXPECT_EQ(checker.GetHostsFilePath(), path);
    EXPECT_EQ(CreateHostsChecker()->GetHostsFilePath(),
              "C:\\windows\\system32\\drivers\\etc\\hosts.ics");
}

TEST_F(WinHostsFile, Repair_CreatesFileWithCrLf_WhenMissing) {
    ASSERT_EQ(checker.Check(), 1);
    EXPECT_EQ(checker.Repair(), 0);
    EXPECT_EQ(ReadBytes(path), kCanonical + "\r\n");
    ExpectNoLeftovers();

    // the next run finds the file right
    WinHostsChecker nextRun;
    ASSERT_EQ(LoadHostsSection(nextRun, kDefaultHosts), 0);
    EXPECT_EQ(nextRun.Check(), 0);
    EXPECT_EQ(ReadBytes(path), kCanonical + "\r\n");
}

TEST_F(WinHostsFile, Repair_RewritesInPlaceWithCrLfAndKeepsHidden_ForExistingFile) {
    WriteBytes(path, "# head\n10.0.0.1 localhost.brevant.io\r\n\x1a tail\r\n1.2.3.4 other"s);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(checker.Check(), 1);

    EXPECT_EQ(checker.Repair(), 0);
    EXPECT_EQ(ReadBytes(path), "# head\r\n" + kCanonical + "\r\n\x1a tail\r\n1.2.3.4 other\r\n");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN,
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Repair_ReturnsThreeAndKeepsFile_WhenHeldOpenByAnother) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# keep me\r\n";
    WriteBytes(path, original);
    ASSERT_EQ(checker.Check(), 1);
    {
        UniqueHandle holder(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        EXPECT_EQ(checker.Repair(), 3);
    }
    EXPECT_EQ(ReadBytes(path), original);
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Check_IsInternalErrorAndKeepsFile_WhenFileCannotBeRead) {
    const std::string original = kCanonical + "\r\n# keep me\r\n";
    WriteBytes(path, original);
    {
        UniqueHandle holder(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        // read as empty, the file would be rewritten with the entry alone
        EXPECT_EQ(checker.Check(), 2);
        EXPECT_EQ(checker.Repair(), 3);
    }
    EXPECT_EQ(ReadBytes(path), original);
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Repair_ReturnsThreeAndKeepsFile_WhenReadOnly) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# keep me\r\n";
    WriteBytes(path, original);
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    ASSERT_EQ(checker.Check(), 1);

    EXPECT_EQ(checker.Repair(), 3);
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    ExpectNoLeftovers();
}

TEST_F(WinHostsFile, Repair_ReturnsThreeAndKeepsFile_AfterCheckFoundNoByteText) {
    const std::string original = "10.0.0.1 localhost.brevant.io\r\n# \0 keep me\r\n"s;
    WriteBytes(path, original);
    ASSERT_EQ(checker.Check(), kHostsCheckInternalError);

    EXPECT_EQ(checker.Repair(), 3);
    EXPECT_EQ(ReadBytes(path), original);
    ExpectNoLeftovers();
}

}  // namespace
