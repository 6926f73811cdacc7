// Whole runs of tool.exe, copied alone into a fresh folder per case, under the real platform.
#include <gtest/gtest.h>

#include <windows.h>
// after windows.h, which it needs
#include <wininet.h>

#include <sddl.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <thread>
#include <vector>

#include "expected_report.h"
#include "machine_state.h"
#include "tool_main.h"
#include "wine_support.h"

namespace {

// exit statuses as the platform reports them, an unsigned 32-bit value
const DWORD kExitOk = static_cast<DWORD>(ExitOk);
const DWORD kExitFailure = static_cast<DWORD>(ExitFailure);

// GBK bytes of UTF-16 text, converted by the platform at test time.
std::string Gbk(const wchar_t* text) {
    char bytes[256] = {};
    const int length = WideCharToMultiByte(936, 0, text, -1, bytes, sizeof bytes, nullptr, nullptr);
    return length > 0 ? std::string(bytes, static_cast<std::size_t>(length - 1)) : std::string();
}

std::string CertificateFile(const char* name) {
    return ReadFileBytes(WindowsPath(CERTIFICATE_DIR) + "\\" + name);
}

std::string EnglishHead() { return ReportHead("Name", "Check result", "Repair result", "Comment"); }

std::string ChineseHead() {
    return ReportHead(Gbk(L"名称"), Gbk(L"检测结果"), Gbk(L"修复结果"), Gbk(L"备注"));
}

// English report in which the three items are correct, ending with certificateRow.
std::string EnglishCorrectItems(const std::string& certificateRow) {
    return EnglishHead() + CorrectRow("Domain Name", "Correct") +
           CorrectRow("App Setup", "Correct") + CorrectRow("Proxy", "Correct") + certificateRow +
           "</table><br/>\n";
}

const std::string kValidRow = CertificateRowText("Creatificate", "#008000", "Correct");

class ToolRunTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_FALSE(folder.Path().empty());
        ASSERT_TRUE(CopyFileA(WindowsPath(TOOL_EXE).c_str(), tool.c_str(), FALSE)) << tool;
    }

    // Every item as the built-in configuration wants it.
    void MakeEverythingCorrect() {
        MachineState::SetCanonicalHosts();
        MachineState::SetRegistration(folder.Path());
        MachineState::SetDirectProxy();
    }

    ProcessResult Run(const std::string& arguments) {
        return RunProgram(tool, arguments, folder.Path());
    }

    std::string Report() { return ReadFileBytes(report); }

    MachineState state;
    TempFolder folder;
    const std::string tool = folder.Path() + "tool.exe";
    const std::string report = folder.Path() + "report.html";
    const std::string certificate = folder.Path() + "localhost_brevant_io.pem";
};

// The keyword rules are pinned natively; here, each message through the real command line, which
// the program splits itself (a quoted empty argument, an "=" form that stays one argument).
TEST_F(ToolRunTest, Tool_RefusesBadCommandLinesAndTouchesNothing) {
    const struct {
        const char* arguments;
        const char* output;
    } cases[] = {
        {"", "Wrong args\r\n"},
        {"--path=report.html --lang en", "Wrong args\r\n"},
        {"\"\" report.html --lang en", "Mising --path\r\n"},
        {"--path report.html --language en", "Mising --lang\r\n"},
    };
    MachineState::RemoveHosts();
    MachineState::RemoveRegistration();
    for (const auto& c : cases) {
        const ProcessResult run = Run(c.arguments);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.output, c.output) << c.arguments;
        EXPECT_EQ(run.exitCode, kExitFailure) << c.arguments;
        EXPECT_FALSE(FileExists(report)) << c.arguments;
        EXPECT_FALSE(FileExists(MachineState::HostsPath())) << c.arguments;
        EXPECT_FALSE(ReadClassesValue("Brevant", "")) << c.arguments;
    }
}

TEST_F(ToolRunTest, Tool_WritesTheWorkedExample_WhenEverythingIsCorrect) {
    MakeEverythingCorrect();
    WriteFileBytes(certificate, CertificateFile("valid.pem"));
    const ProcessResult run = Run("--path report.html --lang en");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishCorrectItems(kValidRow)));
}

TEST_F(ToolRunTest, Tool_WritesGbkLabels_WhenLanguageIsCs) {
    MakeEverythingCorrect();
    WriteFileBytes(certificate, CertificateFile("expired.pem"));
    const ProcessResult run = Run("--path \"" + report + "\" --lang cs");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, kExitOk);
    const std::string correct = Gbk(L"正常");
    EXPECT_EQ(
        Report(),
        Crlf(ChineseHead() + CorrectRow(Gbk(L"本地域名解析"), correct) +
             CorrectRow(Gbk(L"程序启动项"), correct) + CorrectRow(Gbk(L"代理"), correct) +
             CertificateRowText(Gbk(L"证书有效性"), "red", Gbk(L"异常")) + "</table><br/>\n"));
}

// The language codes and the settings file's rules are pinned natively and on the profile call;
// here, the argument wins over the file beside the program, whatever it holds.
TEST_F(ToolRunTest, Tool_TakesTheLanguageArgumentOverTheSettingsFile) {
    const struct {
        const char* settings;
        const char* language;
        bool chinese;
    } cases[] = {
        {"[setting]\r\nlanguage=Simpchinese\r\n", "en", false},
        {"\xFF\xFEgarbage\x1A[setting]\nlanguage=English", "cs", true},
    };
    MakeEverythingCorrect();
    const std::string correct = Gbk(L"正常");
    for (const auto& c : cases) {
        WriteFileBytes(folder.Path() + "Lang_config.cfg", c.settings);
        const ProcessResult run = Run(std::string("--path report.html --lang ") + c.language);
        EXPECT_EQ(run.exitCode, kExitOk) << c.language;
        const std::string expected =
            c.chinese ? ChineseHead() + CorrectRow(Gbk(L"本地域名解析"), correct) +
                            CorrectRow(Gbk(L"程序启动项"), correct) +
                            CorrectRow(Gbk(L"代理"), correct) + "</table><br/>\n"
                      : EnglishCorrectItems("");
        EXPECT_EQ(Report(), Crlf(expected)) << c.language;
    }
}

TEST_F(ToolRunTest, Tool_RepairsEveryItem_FromABareMachine) {
    MachineState::RemoveHosts();
    MachineState::RemoveRegistration();
    StoreProxyFlags(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY);
    const ProcessResult first = Run("--path report.html --lang en");
    EXPECT_EQ(first.output, "");
    EXPECT_EQ(first.exitCode, kExitOk);
    // Wine refuses the final refresh of the proxy repair (Windows accepts it), so that repair
    // reports failure although the direct setting is stored: the next run finds it correct
    EXPECT_EQ(Report(), Crlf(EnglishHead() + RepairedRow("Domain Name", "Error", "Success") +
                             RepairedRow("App Setup", "Error", "Success") +
                             FailedRepairRow("Proxy", "Error", "Defeated") + "</table><br/>\n"));

    const ProcessResult second = Run("--path report.html --lang en");
    EXPECT_EQ(second.exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishCorrectItems("")));
}

TEST_F(ToolRunTest, Tool_ReportsCantWriteAfterRepairing_WhenReportFolderIsMissing) {
    MachineState::RemoveHosts();
    MachineState::SetRegistration(folder.Path());
    MachineState::SetDirectProxy();
    const std::string path = folder.Path() + "missing\\report.html";
    const ProcessResult run = Run("--path \"" + path + "\" --lang en");
    EXPECT_EQ(run.output, "Can't write " + path + "\r\n");
    EXPECT_EQ(run.exitCode, kExitFailure);
    // the checks and repairs ran all the same
    EXPECT_EQ(ReadFileBytes(MachineState::HostsPath()),
              "127.0.0.1            localhost.brevant.io\r\n");
}

TEST_F(ToolRunTest, Tool_ReplacesAnExistingReport) {
    MakeEverythingCorrect();
    WriteFileBytes(report, std::string(10000, 'x') + "\r\n");
    const ProcessResult run = Run("--path report.html --lang en");
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishCorrectItems("")));
}

TEST_F(ToolRunTest, Tool_RunsNormally_WhenSettingsFileNameWouldNotFitItsBuffer) {
    // a folder of 245 characters: the settings file name (260 characters) does not fit 256, and
    // the watcher command (over 260 bytes) is longer than any fixed read buffer of old
    const std::string base = folder.Path();
    const std::string deep = base + std::string(245 - base.size() - 1, 'd') + "\\";
    ASSERT_EQ(deep.size(), 245u);
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    const std::string deepTool = deep + "tool.exe";
    ASSERT_TRUE(CopyFileA(tool.c_str(), deepTool.c_str(), FALSE));
    WriteFileBytes(deep + "Lang_config.cfg", "[setting]\r\nlanguage=Simpchinese\r\n");
    MachineState::SetCanonicalHosts();
    MachineState::RemoveRegistration();
    MachineState::SetDirectProxy();
    const ProcessResult first = RunProgram(deepTool, "--path report.html --lang en", deep);
    EXPECT_EQ(first.output, "");
    EXPECT_EQ(first.exitCode, kExitOk);
    EXPECT_EQ(ReadFileBytes(deep + "report.html"),
              Crlf(EnglishHead() + CorrectRow("Domain Name", "Correct") +
                   RepairedRow("App Setup", "Error", "Success") + CorrectRow("Proxy", "Correct") +
                   "</table><br/>\n"));
    // what the repair wrote reads back whole
    const ProcessResult second = RunProgram(deepTool, "--path report.html --lang en", deep);
    EXPECT_EQ(second.exitCode, kExitOk);
    EXPECT_EQ(ReadFileBytes(deep + "report.html"), Crlf(EnglishCorrectItems("")));
}

// The default value of HKEY_CLASSES_ROOT\<subKey> as UTF-16 text.
std::wstring ClassesValue(const std::wstring& subKey) {
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof text[0];
    if (RegGetValueW(HKEY_CLASSES_ROOT, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text,
                     &size) != ERROR_SUCCESS) {
        return L"(none)";
    }
    return text;
}

TEST_F(ToolRunTest, Tool_RewritesAnOldRegistrationWithItsRealFolder_WhateverTheFolderIsCalled) {
    // the ANSI code page here (1252) cannot hold the Chinese name: the ANSI calls saw "??"
    const wchar_t* const names[] = {L"\u4F20\u8F93", L"Caf\u00E9 \u00DCberall", L"audit dir"};
    const std::wstring scheme = L"BrevantFolderTest";
    const std::wstring commandKey = scheme + L"\\shell\\open\\command";
    MachineState::SetCanonicalHosts();
    MachineState::SetDirectProxy();
    for (std::size_t i = 0; i < std::size(names); ++i) {
        SCOPED_TRACE("folder " + std::to_string(i));
        const std::wstring path = Wide(folder.Path()) + names[i] + L"\\";
        ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
        ASSERT_TRUE(CopyFileW(Wide(tool).c_str(), (path + L"tool.exe").c_str(), FALSE));
        ASSERT_TRUE(WriteFileBytes(
            path + L"name.xml",
            "<root><windows><application name=\"BrevantFolderTest\"/></windows></root>"));
        ASSERT_TRUE(
            WriteFileBytes(path + L"localhost_brevant_io.pem", CertificateFile("valid.pem")));
        // the command as an earlier version registered it, unquoted
        RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
        const std::wstring old = path + scheme + L"-watch.exe %1";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, commandKey.c_str(), nullptr, REG_SZ,
                                  old.c_str(), static_cast<DWORD>((old.size() + 1) * 2)),
                  ERROR_SUCCESS);

        for (const std::string& setupRow :
             {RepairedRow("App Setup", "Error", "Success"), CorrectRow("App Setup", "Correct")}) {
            const ProcessResult run =
                RunProgram(path + L"tool.exe", L"--path report.html --lang en", path);
            EXPECT_EQ(run.output, "");
            EXPECT_EQ(run.exitCode, kExitOk);
            EXPECT_EQ(ReadFileBytes(path + L"report.html"),
                      Crlf(EnglishHead() + CorrectRow("Domain Name", "Correct") + setupRow +
                           CorrectRow("Proxy", "Correct") + kValidRow + "</table><br/>\n"));
            EXPECT_EQ(ClassesValue(commandKey), L"\"" + path + scheme + L"-watch.exe\" \"%1\"");
        }
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
}

// The files under folder, by their paths relative to it.
std::set<std::wstring> FilesUnder(const std::wstring& folder) {
    std::set<std::wstring> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.insert(entry.path().lexically_relative(folder).wstring());
        }
    }
    return files;
}

TEST_F(ToolRunTest, Tool_WritesTheReportWhereAskedAndNowhereElse_WhateverThePathHolds) {
    // relative to the folder the tool runs in; the ANSI code page here (1252) holds none of the
    // letters but Ł, which it would map to L, and U+FF3C, which it would map to a separator
    const struct {
        const wchar_t* path;
        bool written;
        const char* output;
    } cases[] = {
        {L"rp\\отчёт.html", true, ""},
        {L"rp\\报告.html", true, ""},
        {L"rp\\rep-Ł.html", true, ""},
        {L"inbox\\r＼..＼..＼escaped.html", true, ""},
        {L"my reports\\report 1.html", true, ""},
        {L"缺失\\报告.html", false, "Can't write 缺失\\报告.html\r\n"},
        // an unpaired surrogate has no UTF-8 form: it keeps its own bytes and names no file
        {L"rp\\r\xD800.html", false, "Can't write rp\\r\xED\xA0\x80.html\r\n"},
    };
    MakeEverythingCorrect();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE("case " + std::to_string(i));
        const std::wstring base = Wide(folder.Path()) + L"paths" + std::to_wstring(i);
        for (const wchar_t* sub : {L"", L"\\rp", L"\\inbox", L"\\my reports"}) {
            ASSERT_TRUE(CreateDirectoryW((base + sub).c_str(), nullptr));
        }
        const ProcessResult run =
            RunProgram(Wide(tool), L"--path \"" + std::wstring(c.path) + L"\" --lang en", base);
        EXPECT_EQ(run.output, c.output);
        EXPECT_EQ(run.exitCode, c.written ? kExitOk : kExitFailure);
        EXPECT_TRUE(FilesUnder(base) ==
                    (c.written ? std::set<std::wstring>{c.path} : std::set<std::wstring>{}));
        if (c.written) {
            EXPECT_EQ(ReadFileBytes(base + L"\\" + c.path), Crlf(EnglishCorrectItems("")));
        }
    }
}

// The report of a run that repaired the hosts file and found the rest correct.
std::string HostsRepairedReport() {
    return Crlf(EnglishHead() + RepairedRow("Domain Name", "Error", "Success") +
                CorrectRow("App Setup", "Correct") + CorrectRow("Proxy", "Correct") +
                "</table><br/>\n");
}

TEST_F(ToolRunTest, Tool_KeepsTheReplacedHostsFileAsBackup_WhenItRepairsIt) {
    // a developer's own mapping, which the repair replaces
    const std::string mine = "# mine\r\n10.1.2.3 localhost.brevant.io\r\n";
    const std::string hosts = MachineState::HostsPath();
    const std::string backup = MachineState::HostsBackupPath();
    WriteFileBytes(hosts, mine);
    ASSERT_TRUE(SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_HIDDEN));
    WriteFileBytes(backup, "an older backup\r\n");
    MachineState::SetRegistration(folder.Path());
    MachineState::SetDirectProxy();

    EXPECT_EQ(Run("--path report.html --lang en").exitCode, kExitOk);
    EXPECT_EQ(Report(), HostsRepairedReport());
    EXPECT_EQ(ReadFileBytes(hosts), "# mine\r\n127.0.0.1            localhost.brevant.io\r\n");
    EXPECT_EQ(ReadFileBytes(backup), mine);
    EXPECT_NE(GetFileAttributesA(hosts.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    // nothing replaced, nothing backed up
    EXPECT_EQ(Run("--path report.html --lang en").exitCode, kExitOk);
    EXPECT_EQ(ReadFileBytes(backup), mine);
}

TEST_F(ToolRunTest, Tool_LogsEveryValueItChanges_UnderProgramData_WhileAUserHoldsTheFolder) {
    const std::string scheme = "BrevantLogTest";
    const std::string logFolder = std::string(std::getenv("ProgramData")) + "\\" + scheme;
    DeleteTree(logFolder);
    ASSERT_TRUE(CreateDirectoryA(logFolder.c_str(), nullptr));
    WriteFileBytes(logFolder + "\\repairs.log", "an earlier line\r\n");
    // as any user who may list it could: no sharing at all
    UniqueFileHandle held(CreateFileA(logFolder.c_str(), FILE_LIST_DIRECTORY, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held);
    WriteFileBytes(folder.Path() + "name.xml",
                   "<root><windows><application name=\"" + scheme + "\"/></windows></root>");
    const std::string commandKey = scheme + "\\shell\\open\\command";
    RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
    // another install's watcher
    const std::string old = R"("D:\old\)" + scheme + R"(-watch.exe" %1)";
    ASSERT_EQ(RegSetKeyValueA(HKEY_CLASSES_ROOT, commandKey.c_str(), nullptr, REG_SZ, old.c_str(),
                              static_cast<DWORD>(old.size() + 1)),
              ERROR_SUCCESS);
    StoreProxyFlags(PROXY_TYPE_PROXY);
    // a folder in the backup's place: the hosts repair goes ahead without a backup
    WriteFileBytes(MachineState::HostsPath(), "10.1.2.3 localhost.brevant.io\r\n");
    DeleteTree(MachineState::HostsBackupPath());
    ASSERT_TRUE(CreateDirectoryA(MachineState::HostsBackupPath().c_str(), nullptr));

    EXPECT_EQ(Run("--path report.html --lang en").exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishHead() + RepairedRow("Domain Name", "Error", "Success") +
                             RepairedRow("App Setup", "Error", "Success") +
                             FailedRepairRow("Proxy", "Error", "Defeated") + "</table><br/>\n"));
    const std::string folderJson = std::regex_replace(folder.Path(), std::regex(R"(\\)"), R"(\\)");
    // Wine stores no bypass list, and no flags but 1 and 2
    const std::string events[] = {
        "hosts backup not made: " + MachineState::HostsBackupPath() + " (error 5)",
        "registry HKEY_CLASSES_ROOT\\" + commandKey + R"( (default): "\"D:\\old\\)" + scheme +
            R"(-watch.exe\" %1" -> "\")" + folderJson + scheme + R"(-watch.exe\" \"%1\"")",
        "registry HKEY_CLASSES_ROOT\\" + scheme + " (default): absent -> \"URL:" + scheme +
            " Protocol\"",
        "registry HKEY_CLASSES_ROOT\\" + scheme + " \"URL Protocol\": absent -> \"\"",
        "proxy LAN type flags: 0x2 -> 0x1",
        "proxy LAN bypass list: absent -> \"local\"",
        "repair failed: Proxy: refresh settings (error 12018)",
    };
    std::string expected = "an earlier line\r\n";
    for (const std::string& event : events) {
        expected += "(time) " + event + "\r\n";
    }
    const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ )");
    EXPECT_EQ(std::regex_replace(ReadFileBytes(logFolder + "\\repairs.log"), time, "(time) "),
              expected);
    held.reset();
    RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
    DeleteTree(logFolder);
}

// Each repair step that real conditions make fail here, and the lines its failure leaves in the log
// (a repaired hosts file leaves none); the line of a value is written before the value is. The
// other steps need a full disk, a broken system or a change between check and repair.
TEST_F(ToolRunTest, Tool_LogsTheStepAndErrorOfARepairThatFails) {
    const std::string hosts = MachineState::HostsPath();
    const std::string log = std::string(std::getenv("ProgramData")) + "\\Brevant\\repairs.log";
    UniqueHandle held;
    HKEY key = nullptr;
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_READONLY); },
         "repair failed: Domain Name: read-only file (error 6009)\n"},
        {[&] {
             held.reset(CreateFileA(hosts.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
         },
         "repair failed: Domain Name: replace (error 32)\n"},
        // no lasting key may be made under a volatile one
        {[&] {
             RegDeleteTreeA(HKEY_CLASSES_ROOT, "Brevant");
             RegCreateKeyExA(HKEY_CLASSES_ROOT, "Brevant", 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_READ, nullptr, &key, nullptr);
             RegCloseKey(key);
         },
         "registry HKEY_CLASSES_ROOT\\Brevant\\shell\\open\\command (default): absent -> \"\\\"" +
             std::regex_replace(folder.Path(), std::regex(R"(\\)"), R"(\\)") +
             "Brevant-watch.exe\\\" \\\"%1\\\"\"\n"
             "repair failed: App Setup: create key "
             "HKEY_CLASSES_ROOT\\Brevant\\shell\\open\\command "
             "(error 1021)\n"},
        // Wine fails every refresh, Windows none
        {[] { StoreProxyFlags(PROXY_TYPE_PROXY); },
         "proxy LAN type flags: 0x2 -> 0x1\nproxy LAN bypass list: absent -> \"local\"\n"
         "repair failed: Proxy: refresh settings (error 12018)\n"},
    };
    for (const auto& [force, lines] : cases) {
        MakeEverythingCorrect();
        WriteFileBytes(hosts, "10.1.2.3 localhost.brevant.io\r\n");
        DeleteFileA(log.c_str());
        force();
        EXPECT_EQ(Run("--path report.html --lang en").exitCode, kExitOk);
        held.reset();
        SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, "Brevant");
        const std::regex timed(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ (.*)\r\n)");
        EXPECT_EQ(std::regex_replace(ReadFileBytes(log), timed, "$1\n"), lines);
    }
}

// A run that cannot have the machine lock (here its folder is gone; a run that waited a minute for
// another is the same) may run beside another that repairs: it checks and reports, and changes and
// logs nothing.
TEST_F(ToolRunTest, Tool_ChecksAndReportsButRepairsAndLogsNothing_WithoutTheMachineLock) {
    const std::string hosts = MachineState::HostsPath();
    const std::string etc = hosts.substr(0, hosts.rfind('\\'));
    const std::string logFolder = std::string(std::getenv("ProgramData")) + "\\Brevant";
    MakeEverythingCorrect();
    MachineState::RemoveRegistration();
    DeleteTree(logFolder);
    ASSERT_TRUE(MoveFileA(etc.c_str(), (etc + ".away").c_str()));
    const ProcessResult run = Run("--path report.html --lang en");
    MoveFileA((etc + ".away").c_str(), etc.c_str());
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishHead() + FailedRepairRow("Domain Name", "Error", "Defeated") +
                             FailedRepairRow("App Setup", "Error", "Defeated") +
                             CorrectRow("Proxy", "Correct") + "</table><br/>\n"));
    EXPECT_FALSE(ReadClassesValue("Brevant", ""));
    EXPECT_FALSE(FileExists(logFolder));
}

// A real name file holds a line; one larger than 64 KiB counts as one that does not load.
TEST_F(ToolRunTest, Tool_TakesTheDefaultName_WhenTheNameFileIsLargerThan64KiB) {
    const std::string scheme = "BrevantLargeNameTest";
    const std::string text =
        "<root><windows><application name=\"" + scheme + "\"/></windows></root>";
    const struct {
        std::size_t size;
        std::string setupRow;
        bool registered;  // the name file's scheme, rather than the default one
    } cases[] = {
        {64 * 1024, RepairedRow("App Setup", "Error", "Success"), true},
        {64 * 1024 + 1, CorrectRow("App Setup", "Correct"), false},
    };
    MakeEverythingCorrect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
        WriteFileBytes(folder.Path() + "name.xml",
                       text + "<!--" + std::string(c.size - text.size() - 7, 'x') + "-->");
        const ProcessResult run = Run("--path report.html --lang en");
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.exitCode, kExitOk);
        EXPECT_EQ(Report(), Crlf(EnglishHead() + CorrectRow("Domain Name", "Correct") + c.setupRow +
                                 CorrectRow("Proxy", "Correct") + "</table><br/>\n"));
        EXPECT_EQ(ReadClassesValue(scheme, "").has_value(), c.registered);
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
    DeleteTree(std::string(std::getenv("ProgramData")) + "\\" + scheme);
}

// The machine lock of tool.exe, in the folder of the hosts file.
std::string LockPath() {
    const std::string hosts = MachineState::HostsPath();
    return hosts.substr(0, hosts.rfind('\\')) + "\\BrevantClientCheckTool.lock";
}

// A run started while the test holds the lock as a run would checks, repairs and reports nothing
// until the test lets go, then runs whole; the lock file is gone after it.
void ExpectRunTakesItsTurn(ToolRunTest& test) {
    MachineState::RemoveHosts();
    MachineState::SetRegistration(test.folder.Path());
    MachineState::SetDirectProxy();
    DeleteFileA(test.report.c_str());
    UniqueFileHandle lock(CreateFileA(LockPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    ASSERT_TRUE(lock);
    ProcessResult run;
    std::thread runner([&] { run = test.Run("--path report.html --lang en"); });
    // a run that did not wait would be done well within this; a waiting one waits a minute
    Sleep(3000);
    EXPECT_FALSE(FileExists(MachineState::HostsPath()));
    EXPECT_FALSE(FileExists(test.report));
    lock.reset();
    runner.join();
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(test.Report(), HostsRepairedReport());
    EXPECT_FALSE(FileExists(LockPath()));
}

TEST_F(ToolRunTest, Tool_WaitsForTheRunBeforeIt_WhileTheMachineLockIsHeld) {
    ExpectRunTakesItsTurn(*this);
}

// Anyone may create a named kernel object first; the lock file only administrators can. A lock
// file that no one holds (a run's that was cut short) is no hold either.
TEST_F(ToolRunTest, Tool_GoesAheadAndStillTakesTurns_WhateverHoldsTheOldLockName) {
    const wchar_t kOldName[] = L"Global\\BrevantClientCheckTool";
    const struct {
        const char* squat;
        std::function<UniqueHandle()> make;
    } cases[] = {
        {"mutex held", [&] { return UniqueHandle(CreateMutexW(nullptr, TRUE, kOldName)); }},
        {"event", [&] { return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, kOldName)); }},
        {"mutex denying all access",
         [&] {
             PSECURITY_DESCRIPTOR descriptor = nullptr;
             ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1,
                                                                  &descriptor, nullptr);
             const UniqueLocalMemory owned(descriptor);
             SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
             return UniqueHandle(CreateMutexW(&security, FALSE, kOldName));
         }},
        {"lock file left behind",
         [] {
             WriteFileBytes(LockPath(), "");
             return UniqueHandle(CreateEventW(nullptr, TRUE, FALSE, nullptr));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.squat);
        MakeEverythingCorrect();
        const UniqueHandle squat = c.make();
        ASSERT_TRUE(squat);
        const ProcessResult run = Run("--path report.html --lang en");
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.exitCode, kExitOk);
        EXPECT_EQ(Report(), Crlf(EnglishCorrectItems("")));
        EXPECT_FALSE(FileExists(LockPath()));
        ExpectRunTakesItsTurn(*this);
    }
}

// The marks the planted DLLs left in folder.
std::set<std::wstring> LoadMarks(const std::string& folder) {
    std::set<std::wstring> marks;
    for (const std::wstring& file : FilesUnder(Wide(folder))) {
        if (file.size() > 7 && file.compare(file.size() - 7, 7, L".loaded") == 0) {
            marks.insert(file);
        }
    }
    return marks;
}

TEST_F(ToolRunTest, Tool_LoadsNoDllFromItsFolder_WhenTheLoaderSearchesItFirst) {
    MakeEverythingCorrect();
    WriteFileBytes(certificate, CertificateFile("valid.pem"));
    for (const char* name : {"crypt32.dll", "wininet.dll"}) {
        ASSERT_TRUE(
            CopyFileA(WindowsPath(PLANTED_LIBRARY).c_str(), (folder.Path() + name).c_str(), FALSE));
    }
    const std::string probe = folder.Path() + "dll_load_probe.exe";
    ASSERT_TRUE(CopyFileA(WindowsPath(DLL_LOAD_PROBE).c_str(), probe.c_str(), FALSE));
    // the test's overrides (CMakeLists.txt) have Wine search the program's folder first, as
    // Windows does; the folder is the current one too

    const ProcessResult run = Run("--path report.html --lang en");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(Report(), Crlf(EnglishCorrectItems(kValidRow)));
    EXPECT_TRUE(LoadMarks(folder.Path()).empty());

    // the control: a plain load of those names from that folder takes the planted DLLs
    EXPECT_EQ(RunProgram(probe, "", folder.Path()).exitCode, 0u);
    EXPECT_TRUE(LoadMarks(folder.Path()) ==
                (std::set<std::wstring>{L"crypt32.dll.loaded", L"wininet.dll.loaded"}));
}

// A user may turn any folder of a path in their profile into a link (a junction needs no
// privilege): the report is written through none, and no file is made where one leads.
TEST_F(ToolRunTest, Tool_RefusesAReportPathThroughALinkOrToADevice_AndMakesNoFileThere) {
    const std::string links = WindowsPath(REPORT_LINK_DIR) + "\\";
    const std::string victim = "a victim's own text\r\n";
    const std::string hardLink = folder.Path() + "hard_link.html";
    ASSERT_TRUE(CreateDirectoryA((folder.Path() + "folder").c_str(), nullptr));
    // an existing report named by its 8.3 alias is still the file itself
    const std::string longName = folder.Path() + "long report name.html";
    WriteFileBytes(longName, "an old report\r\n");
    char shortName[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameA(longName.c_str(), shortName, MAX_PATH), 0u);
    ASSERT_NE(std::string(shortName), longName);
    const struct {
        std::string path;
        std::string written;  // the file the report lands in; empty: refused
    } cases[] = {
        {links + "file_link.html", ""},
        {hardLink, ""},
        {"NUL", ""},
        {folder.Path() + "folder", ""},
        {links + "folder_link\\report.html", ""},
        {links + "dangling_link.html", ""},
        {shortName, longName},
    };
    MakeEverythingCorrect();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        WriteFileBytes(links + "victim.ini", victim);
        WriteFileBytes(folder.Path() + "victim.ini", victim);
        DeleteFileA(hardLink.c_str());
        ASSERT_TRUE(
            CreateHardLinkA(hardLink.c_str(), (folder.Path() + "victim.ini").c_str(), nullptr));
        const ProcessResult run = Run("--path \"" + c.path + "\" --lang en");
        EXPECT_EQ(run.output, c.written.empty() ? "Can't write " + c.path + "\r\n" : "");
        EXPECT_EQ(run.exitCode, c.written.empty() ? kExitFailure : kExitOk);
        EXPECT_EQ(ReadFileBytes(links + "victim.ini"), victim);
        EXPECT_EQ(ReadFileBytes(folder.Path() + "victim.ini"), victim);
        EXPECT_TRUE(FilesUnder(Wide(links + "folder")).empty());
        if (!c.written.empty()) {
            EXPECT_EQ(ReadFileBytes(c.written), Crlf(EnglishCorrectItems("")));
            DeleteFileA(c.written.c_str());
        }
    }
}

TEST_F(ToolRunTest, Tool_RepairsTheHostsFile_WhenAReaderHoldsItForAMoment) {
    const std::string hosts = MachineState::HostsPath();
    WriteFileBytes(hosts, "10.1.2.3 localhost.brevant.io\r\n");
    MachineState::SetRegistration(folder.Path());
    MachineState::SetDirectProxy();
    // as the DNS client or a virus scanner reads it: the file cannot be replaced meanwhile
    UniqueFileHandle reader(CreateFileA(hosts.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    std::atomic<bool> done{false};
    ProcessResult run;
    std::thread runner([&] {
        run = Run("--path report.html --lang en");
        done = true;
    });
    // the reader lets go soon after the repair's new text stands beside the file
    const std::string pending =
        hosts.substr(0, hosts.rfind('\\')) + "\\BrevantClientCheckTool.*.tmp";
    WIN32_FIND_DATAA entry;
    while (!done && !UniqueFindHandle(FindFirstFileA(pending.c_str(), &entry))) {
        Sleep(10);
    }
    Sleep(300);
    reader.reset();
    runner.join();
    EXPECT_EQ(run.exitCode, kExitOk);
    EXPECT_EQ(Report(), HostsRepairedReport());
    EXPECT_EQ(ReadFileBytes(hosts), "127.0.0.1            localhost.brevant.io\r\n");
}

// The files in the hosts file's folder.
std::set<std::wstring> EtcFiles() {
    const std::string hosts = MachineState::HostsPath();
    std::set<std::wstring> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(Wide(hosts.substr(0, hosts.rfind('\\'))))) {
        files.insert(entry.path().filename().wstring());
    }
    return files;
}

// What runs cut short leave beside the hosts file: a run holding the lock removes this program's
// own leftovers and no other file, and a backup made just before a replace that never came
// (a second name of the file itself) stays the backup of the file it names.
TEST_F(ToolRunTest, Tool_RemovesWhatRunsCutShortLeft_AndNoOtherFile) {
    const std::string hosts = MachineState::HostsPath();
    const std::string etc = hosts.substr(0, hosts.rfind('\\') + 1);
    const std::string old = "10.1.2.3 localhost.brevant.io\r\n";
    WriteFileBytes(hosts, old);
    DeleteFileA(MachineState::HostsBackupPath().c_str());
    ASSERT_TRUE(CreateHardLinkA(MachineState::HostsBackupPath().c_str(), hosts.c_str(), nullptr));
    const std::set<std::wstring> before = EtcFiles();
    // this program's: a temporary, an earlier version's copy and second name of the file
    WriteFileBytes(etc + "BrevantClientCheckTool.0A1B2C3D.tmp", "127.0.0.1 cut short\r\n");
    WriteFileBytes(etc + "hst1A2B.tmp", "127.0.0.1 cut");
    ASSERT_TRUE(CreateHardLinkA((etc + "bak3C4D.tmp").c_str(), hosts.c_str(), nullptr));
    // not this program's, or perhaps the only copy left of a replaced file
    const std::set<std::wstring> kept = {L"bak5E6F.tmp", L"other.tmp", L"hst12345.tmp",
                                         L"BrevantClientCheckTool.lock.tmp"};
    for (const std::wstring& name : kept) {
        WriteFileBytes(Wide(etc) + name, "kept\r\n");
    }
    MachineState::SetRegistration(folder.Path());
    MachineState::SetDirectProxy();
    EXPECT_EQ(Run("--path report.html --lang en").exitCode, kExitOk);
    EXPECT_EQ(Report(), HostsRepairedReport());
    EXPECT_EQ(ReadFileBytes(hosts), "127.0.0.1            localhost.brevant.io\r\n");
    EXPECT_EQ(ReadFileBytes(MachineState::HostsBackupPath()), old);
    std::set<std::wstring> expected = before;
    expected.insert(kept.begin(), kept.end());
    EXPECT_TRUE(EtcFiles() == expected);
    for (const std::wstring& name : kept) {
        DeleteFileW((Wide(etc) + name).c_str());
    }
}

// A run killed while it waits to replace the hosts file (a reader holds it) leaves nothing behind
// without any later run: its temporaries are marked for deletion until they take a file's place.
TEST_F(ToolRunTest, Tool_LeavesNoTemporary_WhenKilledDuringARepair) {
    const std::string hosts = MachineState::HostsPath();
    WriteFileBytes(hosts, "10.1.2.3 localhost.brevant.io\r\n");
    DeleteFileA(MachineState::HostsBackupPath().c_str());
    const std::set<std::wstring> before = EtcFiles();
    MachineState::SetRegistration(folder.Path());
    MachineState::SetDirectProxy();
    UniqueFileHandle reader(CreateFileA(hosts.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(reader);
    std::wstring command = L"\"" + Wide(tool) + L"\" --path report.html --lang en";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                               Wide(folder.Path()).c_str(), &startup, &process));
    const UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    const std::string pending =
        hosts.substr(0, hosts.rfind('\\')) + "\\BrevantClientCheckTool.*.tmp";
    WIN32_FIND_DATAA entry;
    while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT &&
           !UniqueFindHandle(FindFirstFileA(pending.c_str(), &entry))) {
    }
    ASSERT_TRUE(UniqueFindHandle(FindFirstFileA(pending.c_str(), &entry)));
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    reader.reset();
    EXPECT_TRUE(EtcFiles() == before);
    EXPECT_EQ(ReadFileBytes(hosts), "10.1.2.3 localhost.brevant.io\r\n");
}

// Anyone who may read the tool's folder may hold a file there open without sharing. One held for a
// moment is read once it is let go; one held throughout is not taken for absent: the name file's
// default name is never registered in its stead, and the certificate row follows its usual rule.
TEST_F(ToolRunTest, Tool_WaitsForAHeldFileBesideIt_AndTakesNoDefaultInItsStead) {
    const std::string scheme = "BrevantHeldTest";
    const std::string nameFile = folder.Path() + "name.xml";
    const std::string internalError =
        std::regex_replace(FailedRepairRow("App Setup", "Error", "Defeated"),
                           std::regex("width=\"100\"></td>"), "width=\"100\">Internal error</td>");
    const struct {
        std::string held;
        bool throughout;
        std::string setupRow;
        std::string certificateRow;
    } cases[] = {
        {nameFile, false, RepairedRow("App Setup", "Error", "Success"), kValidRow},
        {nameFile, true, internalError, kValidRow},
        {certificate, false, RepairedRow("App Setup", "Error", "Success"), kValidRow},
        {certificate, true, RepairedRow("App Setup", "Error", "Success"), ""},
    };
    MakeEverythingCorrect();
    WriteFileBytes(nameFile,
                   "<root><windows><application name=\"" + scheme + "\"/></windows></root>");
    WriteFileBytes(certificate, CertificateFile("valid.pem"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.held + (c.throughout ? " held throughout" : " held for a moment"));
        RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
        MachineState::RemoveRegistration();
        UniqueFileHandle held(CreateFileA(c.held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        std::thread letGo([&] {
            if (!c.throughout) {
                Sleep(500);
                held.reset();
            }
        });
        const ProcessResult run = Run("--path report.html --lang en");
        letGo.join();
        held.reset();
        EXPECT_EQ(run.exitCode, kExitOk);
        EXPECT_EQ(Report(),
                  Crlf(EnglishHead() + CorrectRow("Domain Name", "Correct") + c.setupRow +
                       CorrectRow("Proxy", "Correct") + c.certificateRow + "</table><br/>\n"));
        EXPECT_FALSE(ReadClassesValue("Brevant", ""));
        EXPECT_EQ(ReadClassesValue(scheme, "").has_value(), !(c.held == nameFile && c.throughout));
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, scheme.c_str());
    DeleteTree(std::string(std::getenv("ProgramData")) + "\\" + scheme);
}

// The program file itself: graphical subsystem, the manifest embedded, no runtime DLL needed.
class ToolImageTest : public ::testing::Test {
protected:
    const std::string image = ReadFileBytes(WindowsPath(TOOL_EXE));

    const IMAGE_NT_HEADERS64* Headers() const {
        if (image.size() < sizeof(IMAGE_DOS_HEADER)) {
            return nullptr;
        }
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE ||
            image.size() < static_cast<std::size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64)) {
            return nullptr;
        }
        return reinterpret_cast<const IMAGE_NT_HEADERS64*>(image.data() + dos->e_lfanew);
    }
};

TEST_F(ToolImageTest, ToolExe_IsAGraphicalProgram) {
    const IMAGE_NT_HEADERS64* headers = Headers();
    ASSERT_NE(headers, nullptr);
    EXPECT_EQ(headers->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

TEST_F(ToolImageTest, ToolExe_EmbedsTheAdministratorManifest) {
    const UniqueModule module(
        LoadLibraryExA(WindowsPath(TOOL_EXE).c_str(), nullptr,
                       LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    HRSRC resource = FindResourceA(module.get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    ASSERT_NE(resource, nullptr);
    HGLOBAL loaded = LoadResource(module.get(), resource);
    ASSERT_NE(loaded, nullptr);
    const std::string manifest(static_cast<const char*>(LockResource(loaded)),
                               SizeofResource(module.get(), resource));
    EXPECT_EQ(manifest, ReadFileBytes(WindowsPath(TOOL_MANIFEST)));
    EXPECT_NE(manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""),
              std::string::npos);
}

TEST_F(ToolImageTest, ToolExe_ImportsNoRuntimeLibraryOfTheToolchain) {
    const IMAGE_NT_HEADERS64* headers = Headers();
    ASSERT_NE(headers, nullptr);
    // the import names are plain strings in the image; a runtime DLL would show as "lib...-N.dll"
    for (const char* runtime : {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}) {
        EXPECT_EQ(image.find(runtime), std::string::npos) << runtime;
    }
}

}  // namespace
