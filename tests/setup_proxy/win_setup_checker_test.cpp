#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "default_config.h"
#include "machine_state.h"
#include "run_facts.h"
#include "win_associated_setup_checker.h"
#include "wine_support.h"

namespace {

// A scheme of its own, so the tests never touch a real registration.
const std::string kScheme = "BrevantSetupTestScheme";
const std::string kCommandKey = kScheme + "\\shell\\open\\command";

std::string ProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    return *ProgramDirectoryOf(path);
}

std::optional<std::string> Text(const std::optional<ClassesValue>& value) {
    return value ? std::optional<std::string>(value->text) : std::nullopt;
}

void WriteValue(const std::string& subKey, const std::string& valueName, DWORD type,
                const std::string& text) {
    ASSERT_TRUE(WriteClassesValue(subKey, valueName, type, text)) << subKey;
}

// Replaces a key's access list; the owner may always do that, even after denying itself writes.
bool SetKeyAccess(const std::string& subKey, const char* sddl) {
    UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
        return false;
    }
    UniqueHkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, WRITE_DAC, key.put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    return RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor.get()) ==
           ERROR_SUCCESS;
}

const char kEveryoneReads[] = "D:(A;;KR;;;WD)";
const char kEveryoneMayAll[] = "D:(A;;KA;;;WD)";

std::vector<std::int32_t> Statuses(const WinAssociatedSetupChecker& checker) {
    std::vector<std::int32_t> statuses;
    for (const SetupItem& item : checker.Items()) {
        statuses.push_back(item.status);
    }
    return statuses;
}

class WinSetupCheckerTest : public testing::Test {
protected:
    void SetUp() override {
        nameFile = ProgramDirectory() + "name.xml";
        std::ifstream existing(nameFile, std::ios::binary);
        if (existing) {
            savedNameFile = std::string(std::istreambuf_iterator<char>(existing), {});
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme.c_str());
        WriteNameFile("<root><windows><application name=\"" + kScheme + "\"/></windows></root>");
    }

    void TearDown() override {
        // a test that stopped half-way may have left the command key read-only
        SetKeyAccess(kCommandKey, kEveryoneMayAll);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme.c_str());
        if (savedNameFile) {
            std::ofstream(nameFile, std::ios::binary) << *savedNameFile;
        } else {
            std::filesystem::remove(nameFile);
        }
    }

    void WriteNameFile(const std::string& content) {
        std::ofstream(nameFile, std::ios::binary) << content;
    }

    // the document built into tool.exe
    int LoadDefault() { return Load(kDefaultConfig.c_str()); }

    // A checker with the names a run resolves now, from the name file as the test left it.
    int Load(const char* setup) {
        pugi::xml_document document;
        EXPECT_TRUE(document.load_string(setup));
        const RunFacts facts = ResolveRunFacts();
        checker = WinAssociatedSetupChecker({facts.programDirectory, facts.applicationName}, *log);
        return checker.LoadConfig(document.child("setup"));
    }

    std::string CommandText() const {
        return "\"" + ProgramDirectory() + kScheme + "-watch.exe\" \"%1\"";
    }

    std::string nameFile;
    std::optional<std::string> savedNameFile;
    const std::unique_ptr<RepairLog> log = CreateRepairLog("Brevant");
    WinAssociatedSetupChecker checker{SetupNames(), *log};
};

TEST_F(WinSetupCheckerTest, RepairWritesAllValues_WhenSchemeKeyIsMissing) {
    ASSERT_EQ(LoadDefault(), ConfigLoaded);

    EXPECT_EQ(checker.Check(), CheckWrong);
    EXPECT_EQ(Statuses(checker),
              (std::vector<std::int32_t>{ItemKeyMissing, ItemKeyMissing, ItemKeyMissing}));
    EXPECT_EQ(checker.Repair(), Repaired);

    const auto command = ReadClassesValue(kCommandKey, "");
    const auto description = ReadClassesValue(kScheme, "");
    const auto marker = ReadClassesValue(kScheme, "URL Protocol");
    ASSERT_TRUE(command && description && marker);
    EXPECT_EQ(command->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(command->text, CommandText());
    EXPECT_EQ(description->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(description->text, "URL:" + kScheme + " Protocol");
    EXPECT_EQ(marker->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(marker->text, "");

    EXPECT_EQ(checker.Check(), CheckCorrect);
    EXPECT_EQ(Statuses(checker), (std::vector<std::int32_t>{ItemOk, ItemOk, ItemOk}));
}

TEST_F(WinSetupCheckerTest, Check_ComparesTextOnly_WhateverTheValueType) {
    struct Case {
        DWORD type;
        std::string description;
        std::int32_t expected;
    };
    for (const Case& c : {
             Case{REG_SZ, "URL:" + kScheme + " Protocol", ItemOk},
             Case{REG_EXPAND_SZ, "URL:" + kScheme + " Protocol", ItemOk},
             Case{REG_SZ, "url:" + kScheme + " protocol", ItemValueMismatch},
             Case{REG_SZ, "", ItemValueMismatch},
         }) {
        SCOPED_TRACE(c.description);
        WriteValue(kCommandKey, "", REG_SZ, CommandText());
        WriteValue(kScheme, "URL Protocol", REG_SZ, "");
        WriteValue(kScheme, "", c.type, c.description);
        ASSERT_EQ(LoadDefault(), ConfigLoaded);

        EXPECT_EQ(checker.Check(), c.expected == ItemOk ? CheckCorrect : CheckWrong);
        EXPECT_EQ(Statuses(checker), (std::vector<std::int32_t>{ItemOk, c.expected, ItemOk}));
    }
}

TEST_F(WinSetupCheckerTest, RepairReplacesValue_WhenTextIsWrong) {
    // a moved install's command, a description in other letter case: ours, only wrong
    WriteValue(kCommandKey, "", REG_SZ, "\"C:\\elsewhere\\" + kScheme + "-watch.exe\" \"%1\"");
    WriteValue(kScheme, "", REG_EXPAND_SZ, "url:" + kScheme + " protocol");
    WriteValue(kScheme, "URL Protocol", REG_SZ, "");
    ASSERT_EQ(LoadDefault(), ConfigLoaded);

    EXPECT_EQ(checker.Check(), CheckWrong);
    EXPECT_EQ(Statuses(checker),
              (std::vector<std::int32_t>{ItemValueMismatch, ItemValueMismatch, ItemOk}));
    EXPECT_EQ(checker.Repair(), Repaired);

    const auto description = ReadClassesValue(kScheme, "");
    ASSERT_TRUE(description);
    EXPECT_EQ(description->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(description->text, "URL:" + kScheme + " Protocol");
    EXPECT_EQ(checker.Check(), CheckCorrect);
}

TEST_F(WinSetupCheckerTest, RepairStopsAtFirstFailedWrite_LeavingLaterItemsUntouched) {
    // an earlier registration of this scheme, so not a file type's class
    const std::string oldCommand = "C:\\elsewhere\\" + kScheme + "-watch.exe %1";
    WriteValue(kCommandKey, "", REG_SZ, oldCommand);
    // everyone may read the command key, nobody may write it
    ASSERT_TRUE(SetKeyAccess(kCommandKey, kEveryoneReads));
    ASSERT_EQ(LoadDefault(), ConfigLoaded);

    EXPECT_EQ(checker.Check(), CheckWrong);
    // creating the command key created the scheme's key too: its values are merely absent
    EXPECT_EQ(Statuses(checker),
              (std::vector<std::int32_t>{ItemValueMismatch, ItemValueMismatch, ItemValueMismatch}));
    EXPECT_EQ(checker.Repair(), SetupRepairFailed);

    ASSERT_TRUE(SetKeyAccess(kCommandKey, kEveryoneMayAll));
    const auto command = ReadClassesValue(kCommandKey, "");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->text, oldCommand);
    EXPECT_FALSE(ReadClassesValue(kScheme, ""));
    EXPECT_FALSE(ReadClassesValue(kScheme, "URL Protocol"));
}

TEST_F(WinSetupCheckerTest, Check_IsInternalError_WhenApplicationNameIsEmpty) {
    WriteNameFile("<root><windows><application/></windows></root>");
    const auto rootDefault = ReadClassesValue("", "");
    const auto rootMarker = ReadClassesValue("", "URL Protocol");

    EXPECT_EQ(LoadDefault(), SetupConfigRefused);
    EXPECT_TRUE(checker.Items().empty());
    EXPECT_EQ(checker.Check(), CheckInternalError);
    EXPECT_EQ(checker.Repair(), SetupRepairFailed);

    const auto rootDefaultAfter = ReadClassesValue("", "");
    const auto rootMarkerAfter = ReadClassesValue("", "URL Protocol");
    EXPECT_EQ(rootDefault.has_value(), rootDefaultAfter.has_value());
    EXPECT_EQ(rootMarker.has_value(), rootMarkerAfter.has_value());
    EXPECT_FALSE(ReadClassesValue("shell\\open\\command", ""));
}

// A value to write below HKEY_CLASSES_ROOT\<name>.
struct Entry {
    std::string subKey;  // "" or "\\..."
    std::string valueName;
    std::string text;
};

TEST_F(WinSetupCheckerTest, Check_IsInternalErrorAndWritesNothing_WhenKeyIsAnotherProgramsClass) {
    const std::string watcher = "\"C:\\x\\" + kScheme + "-watch.exe\" \"%1\"";
    const struct {
        const char* row;
        std::string name;
        std::vector<Entry> entries;  // written only when the key is missing (a stand-in)
    } cases[] = {
        {"exefile", "exefile", {{"\\shell\\open\\command", "", "\"%1\" %*"}}},
        {"txtfile", "txtfile", {{"\\shell\\open\\command", "", "notepad.exe %1"}}},
        {"URL protocol of another program",
         kScheme,
         {{"", "", "URL:HyperText Transfer Protocol"},
          {"", "URL Protocol", ""},
          {"\\shell\\open\\command", "", "\"C:\\windows\\winebrowser.exe\" -nohome \"%1\""}}},
        {"another default value",
         kScheme,
         {{"", "", "URL:File Protocol"}, {"\\shell\\open\\command", "", watcher}}},
        {"another subkey, as CLSID has",
         kScheme,
         {{"\\{00021401-0000-0000-C000-000000000046}", "", "Shortcut"},
          {"\\shell\\open\\command", "", watcher}}},
        {"another verb, as Directory has",
         kScheme,
         {{"\\shell\\find\\command", "", "%SystemRoot%\\Explorer.exe"},
          {"\\shell\\open\\command", "", watcher}}},
        {"DelegateExecute",
         kScheme,
         {{"\\shell\\open", "DelegateExecute", "{11dbb47c-a525-400b-9e80-a54615a090c0}"},
          {"\\shell\\open\\command", "", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        const bool standIn = DescribeClassesKey(c.name).empty();
        if (standIn) {
            for (const Entry& entry : c.entries) {
                WriteValue(c.name + entry.subKey, entry.valueName, REG_SZ, entry.text);
            }
        }
        const std::string before = DescribeClassesKey(c.name);
        WriteNameFile("<root><windows><application name=\"" + c.name + "\"/></windows></root>");

        ASSERT_EQ(LoadDefault(), ConfigLoaded);
        EXPECT_EQ(checker.Check(), CheckInternalError);
        EXPECT_EQ(checker.Repair(), SetupRepairFailed);
        EXPECT_EQ(DescribeClassesKey(c.name), before);
        if (standIn) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, c.name.c_str());
        }
    }
}

TEST_F(WinSetupCheckerTest, Repair_CompletesOwnRegistration_WhenHalfWayOrFromAnEarlierVersion) {
    const struct {
        const char* row;
        std::vector<Entry> entries;
    } cases[] = {
        {"the command key without a value", {{"\\shell\\open\\command", "", ""}}},
        {"the protocol value alone", {{"", "URL Protocol", ""}}},
        {"the earlier unquoted command",
         {{"", "", "URL:" + kScheme + " Protocol"},
          {"", "URL Protocol", ""},
          {"\\shell\\open\\command", "", "C:\\Program Files\\Old\\" + kScheme + "-watch.exe %1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme.c_str());
        for (const Entry& entry : c.entries) {
            if (entry.valueName.empty() && entry.text.empty()) {
                UniqueHkey key;
                ASSERT_EQ(
                    RegCreateKeyA(HKEY_CLASSES_ROOT, (kScheme + entry.subKey).c_str(), key.put()),
                    ERROR_SUCCESS);
            } else {
                WriteValue(kScheme + entry.subKey, entry.valueName, REG_SZ, entry.text);
            }
        }
        ASSERT_EQ(LoadDefault(), ConfigLoaded);

        EXPECT_EQ(checker.Check(), CheckWrong);
        EXPECT_EQ(checker.Repair(), Repaired);
        EXPECT_EQ(checker.Check(), CheckCorrect);
        EXPECT_EQ(Text(ReadClassesValue(kCommandKey, "")), CommandText());
    }
}

TEST_F(WinSetupCheckerTest, Check_ReadsValueWhole_WhenLongerThan260Bytes) {
    const std::string longText(300, 'x');
    WriteValue(kScheme, "", REG_SZ, longText);
    const std::string setup = "<setup><win><a key='HKEY_CLASSES_ROOT' sub_key='" + kScheme +
                              "' data='" + longText + "' wtag='other'/></win></setup>";
    ASSERT_EQ(Load(setup.c_str()), ConfigLoaded);

    EXPECT_EQ(checker.Check(), CheckCorrect);
    EXPECT_EQ(Statuses(checker), (std::vector<std::int32_t>{ItemOk}));
}

TEST_F(WinSetupCheckerTest, Check_PassesWithoutItems_AndRepairFailsBeforeAnyCheck) {
    ASSERT_EQ(Load("<setup><win/></setup>"), ConfigLoaded);
    EXPECT_EQ(checker.Check(), CheckCorrect);

    ASSERT_EQ(LoadDefault(), ConfigLoaded);
    EXPECT_EQ(checker.Repair(), SetupRepairFailed);
    EXPECT_FALSE(ReadClassesValue(kScheme, ""));
}

// Runs the check from a copy of the probe program in a directory of its own.
class ProgramPathTest : public testing::Test {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() / "setup_program_path_test";
        std::filesystem::remove_all(directory);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme.c_str());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kScheme.c_str());
        std::filesystem::remove_all(directory);
    }

    // The probe's exit status: its check code, or none when it did not run.
    std::optional<DWORD> RunProbe() {
        std::filesystem::create_directories(directory);
        std::filesystem::copy_file(ProgramDirectory() + "setup_check_probe.exe",
                                   directory / "setup_check_probe.exe");
        std::ofstream(directory / "name.xml", std::ios::binary)
            << "<root><windows><application name=\"" << kScheme << "\"/></windows></root>";

        std::wstring commandLine = L"\"" + (directory / "setup_check_probe.exe").wstring() + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info)) {
            return std::nullopt;
        }
        UniqueHandle process(info.hProcess);
        UniqueHandle thread(info.hThread);
        DWORD status = 0;
        if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process.get(), &status)) {
            return std::nullopt;
        }
        return status;
    }

    std::filesystem::path directory;
};

TEST_F(ProgramPathTest, Repair_PutsOwnProgramDirectoryInCommand_WhenRunFromElsewhere) {
    EXPECT_EQ(RunProbe(), DWORD{CheckWrong});

    const auto command = ReadClassesValue(kCommandKey, "");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->text, "\"" + directory.string() + "\\" + kScheme + "-watch.exe\" \"%1\"");
}

}  // namespace
