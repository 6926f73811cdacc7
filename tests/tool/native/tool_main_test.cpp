#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "fake_world.h"
#include "test_support.h"
#include "tool_main.h"

using ::testing::ElementsAre;

namespace {

struct ToolRun {
    std::string output;
    int status;
};

ToolRun RunTool(std::vector<std::string> args) {
    args.insert(args.begin(), "tool.exe");
    std::vector<const char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(arg.c_str());
    }
    argv.push_back(nullptr);
    std::ostringstream out;
    const int status = ToolMain(static_cast<int>(args.size()), argv.data(), out);
    return {out.str(), status};
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class ToolMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetWorld();
        World().certificate = CertificateStatus::Valid;
        // one file per test: ctest runs these in parallel
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        reportPath = ::testing::TempDir() + "tool_main_" + info->name() + ".html";
        std::remove(reportPath.c_str());
    }
    void TearDown() override { std::remove(reportPath.c_str()); }

    std::string reportPath;
};

TEST_F(ToolMainTest, ToolMain_RefusesBadCommandLinesBeforeCreatingAnything) {
    const struct {
        std::vector<std::string> args;
        const char* output;
    } cases[] = {
        {{}, "Wrong args\n"},
        {{"--path", "r.html", "--lang"}, "Wrong args\n"},
        {{"--path", "r.html", "--lang", "en", "extra"}, "Wrong args\n"},
        {{"--lang", "en", "--path", "r.html"}, "Mising --path\n"},
        {{"--PATH", "r.html", "--lang", "en"}, "Mising --path\n"},
        {{"--pathx", "r.html", "--lang", "en"}, "Mising --path\n"},
        {{"--pat", "r.html", "--lang", "en"}, "Mising --path\n"},
        {{"--path=r.html", "x", "--lang", "en"}, "Mising --path\n"},
        {{"", "r.html", "--lang", "en"}, "Mising --path\n"},
        {{"--path", "--lang", "--language", "en"}, "Mising --lang\n"},
        {{"--path", "r.html", "--LANG", "en"}, "Mising --lang\n"},
        {{"--path", "r.html", "--lan", "en"}, "Mising --lang\n"},
    };
    for (const auto& c : cases) {
        ResetWorld();
        const ToolRun run = RunTool(c.args);
        EXPECT_EQ(run.output, c.output) << ::testing::PrintToString(c.args);
        EXPECT_EQ(run.status, ExitFailure) << ::testing::PrintToString(c.args);
        EXPECT_TRUE(World().journal.empty()) << ::testing::PrintToString(c.args);
        EXPECT_FALSE(Exists("r.html"));
    }
}

TEST_F(ToolMainTest, ToolMain_WritesTheReportSilently_WhenAllGoesWell) {
    const ToolRun run = RunTool({"--path", reportPath, "--lang", "en"});
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.status, ExitOk);
    EXPECT_EQ(ReadAll(reportPath), EnglishAllCorrectReport());
}

TEST_F(ToolMainTest, ToolMain_WritesEnglish_ForEveryLanguageButCs) {
    World().languageValues["C:\\Program Files\\Brevant\\Lang_config.cfg"] = "Simpchinese";
    for (const char* language : {"en", "CS", "zh", "", "cs "}) {
        const ToolRun run = RunTool({"--path", reportPath, "--lang", language});
        EXPECT_EQ(run.status, ExitOk) << language;
        EXPECT_EQ(ReadAll(reportPath), EnglishAllCorrectReport()) << '"' << language << '"';
    }
    RunTool({"--path", reportPath, "--lang", "cs"});
    const std::string correct = Gbk("正常");
    EXPECT_EQ(ReadAll(reportPath),
              ReportHead(Gbk("名称"), Gbk("检测结果"), Gbk("修复结果"), Gbk("备注")) +
                  CorrectRow(Gbk("本地域名解析"), correct) +
                  CorrectRow(Gbk("程序启动项"), correct) + CorrectRow(Gbk("代理"), correct) +
                  CertificateRowText(Gbk("证书有效性"), "#008000", correct) + "</table><br/>\n");
}

TEST_F(ToolMainTest, ToolMain_ReplacesAnExistingReport) {
    {
        std::ofstream old(reportPath);
        old << std::string(5000, 'x');
    }
    EXPECT_EQ(RunTool({"--path", reportPath, "--lang", "en"}).status, ExitOk);
    EXPECT_EQ(ReadAll(reportPath), EnglishAllCorrectReport());
}

TEST_F(ToolMainTest, ToolMain_ReportsCantWriteAfterTheChecks_WhenFolderIsMissing) {
    World().hosts.check = 1;
    const std::string path = ::testing::TempDir() + "tool_main_no_such_folder/report.html";
    const ToolRun run = RunTool({"--path", path, "--lang", "en"});
    EXPECT_EQ(run.output, "Can't write " + path + "\n");
    EXPECT_EQ(run.status, ExitFailure);
    const std::vector<std::string> ran = {"lock",
                                          "hosts.new",
                                          "setup.new",
                                          "proxy.new",
                                          "hosts.LoadConfig hosts",
                                          "setup.LoadConfig setup",
                                          "proxy.LoadConfig (empty)",
                                          "hosts.Check",
                                          "hosts.Repair",
                                          "setup.Check",
                                          "proxy.Check",
                                          "certificate",
                                          "hosts.~",
                                          "setup.~",
                                          "proxy.~",
                                          "unlock"};
    EXPECT_EQ(World().journal, ran);
}

// Another run may be repairing the same file, backup and log: a run without the lock repairs
// nothing, and its rows say so.
TEST_F(ToolMainTest, ToolMain_ChecksButRepairsNothing_WithoutTheMachineLock) {
    World().lockGiven = false;
    World().hosts.check = CheckWrong;
    World().setup.check = CheckWrong;
    World().certificate = CertificateStatus::Unloadable;
    const ToolRun run = RunTool({"--path", reportPath, "--lang", "en"});
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.status, ExitOk);
    EXPECT_EQ(ReadAll(reportPath), ReportHead("Name", "Check result", "Repair result", "Comment") +
                                       FailedRepairRow("Domain Name", "Error", "Defeated") +
                                       FailedRepairRow("App Setup", "Error", "Defeated") +
                                       CorrectRow("Proxy", "Correct") + "</table><br/>\n");
    EXPECT_THAT(World().journal,
                ::testing::IsSupersetOf({"no lock", "hosts.Check", "setup.Check", "proxy.Check"}));
    EXPECT_THAT(World().journal,
                ::testing::Not(::testing::Contains(::testing::HasSubstr("Repair"))));
}

TEST_F(ToolMainTest, ToolMain_ReportsCantWrite_WhenWritingFails) {
    // /dev/full opens fine and refuses every byte: the failure shows only when the file is flushed
    const ToolRun run = RunTool({"--path", "/dev/full", "--lang", "en"});
    EXPECT_EQ(run.output, "Can't write /dev/full\n");
    EXPECT_EQ(run.status, ExitFailure);
}

TEST_F(ToolMainTest, ToolMain_ReportsConfigurationFailureAndWritesNothing_WhenInitFails) {
    World().hostsFactoryYieldsNothing = true;
    const ToolRun run = RunTool({"--path", reportPath, "--lang", "en"});
    EXPECT_EQ(run.output,
              "\xE5\x8A\xA0\xE8\xBD\xBD\xE9\x85\x8D\xE7\xBD\xAE\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4"
              "\xB1\xE8\xB4\xA5\n\n");
    EXPECT_EQ(run.output.substr(0, 24), "加载配置文件失败");
    EXPECT_EQ(run.status, ExitOk);
    EXPECT_FALSE(Exists(reportPath));
}

// The registration and the repair log take their names from the run's one read of name.xml.
TEST_F(ToolMainTest, ToolMain_HandsTheOneNameItReadToTheRegistrationAndTheLog) {
    const std::string nameFile = "C:\\Program Files\\Brevant\\name.xml";
    const struct {
        const char* name;
        const char* logFolder;
    } cases[] = {{"BrevantRun", "BrevantRun"}, {"bad name", "Brevant"}};
    for (const auto& c : cases) {
        ResetWorld();
        World().setup.check = CheckWrong;
        World().files[nameFile] =
            std::string("<root><windows><application name=\"") + c.name + "\"/></windows></root>";
        EXPECT_EQ(RunTool({"--path", reportPath, "--lang", "en"}).status, ExitOk) << c.name;
        EXPECT_THAT(World().filesRead, ElementsAre(nameFile)) << c.name;
        EXPECT_THAT(World().setupNames,
                    ElementsAre(std::string("C:\\Program Files\\Brevant\\ ") + c.name))
            << c.name;
        EXPECT_THAT(World().logFolders, ElementsAre(c.logFolder)) << c.name;
    }
}

}  // namespace
