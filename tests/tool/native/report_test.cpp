#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client_check_tool.h"
#include "fake_world.h"
#include "test_support.h"

using ::testing::ElementsAre;

namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetWorld();
        World().certificate = CertificateStatus::Valid;
    }

    // A report from a tool whose construction is no longer in the journal.
    std::string Report(const std::string& language) {
        ToolWithLanguage tool(language);
        World().journal.clear();
        return tool.BuildReport();
    }
};

TEST_F(ReportTest, BuildReport_MatchesWorkedExample_WhenEverythingIsCorrect) {
    const std::string expected =
        "<table border=\"1\" align=\"center\" cellspacing=\"0\" cellpadding=\"8\">\n"
        "<tr>\n"
        "<th id=textcenter>Name</th>\n"
        "<th id=textcenter>Check result</th>\n"
        "<th id=textcenter>Repair result</th>\n"
        "<th id=textcenter>Comment</th>\n"
        "<tr>\n"
        "<td width=\"180\">Domain Name</td>\n"
        "<td id=textcenter width=\"100\"><font color=\"#008000\">Correct</font></td>\n"
        "<td id=textcenter></td>\n"
        "<td id=textcenter width=\"100\"></td>\n"
        "</tr>\n"
        "<tr>\n"
        "<td width=\"180\">App Setup</td>\n"
        "<td id=textcenter width=\"100\"><font color=\"#008000\">Correct</font></td>\n"
        "<td id=textcenter></td>\n"
        "<td id=textcenter width=\"100\"></td>\n"
        "</tr>\n"
        "<tr>\n"
        "<td width=\"180\">Proxy</td>\n"
        "<td id=textcenter width=\"100\"><font color=\"#008000\">Correct</font></td>\n"
        "<td id=textcenter></td>\n"
        "<td id=textcenter width=\"100\"></td>\n"
        "</tr>\n"
        "<tr>\n"
        "<td>Creatificate</td>\n"
        "<td id = textcenter><font color = \"#008000\">Correct</font></td>\n"
        "<td id=textcenter></td>\n"
        "<td id=textcenter></td>\n"
        "</tr>\n"
        "</table><br/>\n";
    EXPECT_EQ(Report("en"), expected);
    EXPECT_EQ(EnglishAllCorrectReport(), expected);
}

TEST_F(ReportTest, BuildReport_ShowsRepairedHostsRow_WhenHostsWereRewritten) {
    World().hosts = {ConfigLoaded, CheckWrong, Repaired};
    const std::string expected =
        ReportHead("Name", "Check result", "Repair result", "Comment") +
        Lines({
            "<tr>",
            "<td width=\"180\">Domain Name</td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">Error</font></td>",
            "<td id=textcenter width=\"100\"><font color=\"#008000\">Success</font></td>",
            "<td id=textcenter width=\"100\"></td>",
            "</tr>",
        }) +
        CorrectRow("App Setup", "Correct") + CorrectRow("Proxy", "Correct") +
        CertificateRowText("Creatificate", "#008000", "Correct") + "</table><br/>\n";
    EXPECT_EQ(Report("en"), expected);
}

TEST_F(ReportTest, BuildReport_ShowsFailedRepairAndInternalError_InTheirRows) {
    World().setup = {ConfigLoaded, CheckWrong, SetupRepairFailed};
    World().proxy = {ConfigLoaded, -1, Repaired};  // any code but the three is an internal error
    World().certificate = CertificateStatus::Unloadable;
    const std::string expected =
        ReportHead("Name", "Check result", "Repair result", "Comment") +
        CorrectRow("Domain Name", "Correct") +
        Lines({
            "<tr>",
            "<td width=\"180\">App Setup</td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">Error</font></td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">Defeated</font></td>",
            "<td id=textcenter width=\"100\"></td>",
            "</tr>",
            "<tr>",
            "<td width=\"180\">Proxy</td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">Error</font></td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">Defeated</font></td>",
            "<td id=textcenter width=\"100\">Internal error</td>",
            "</tr>",
        }) +
        "</table><br/>\n";
    EXPECT_EQ(Report("en"), expected);
}

TEST_F(ReportTest, BuildReport_CarriesGbkLabels_WhenLanguageIsCs) {
    World().hosts = {ConfigLoaded, CheckWrong, Repaired};
    World().certificate = CertificateStatus::NotValidNow;
    const std::string correct = Gbk("正常");
    const std::string expected =
        ReportHead(Gbk("名称"), Gbk("检测结果"), Gbk("修复结果"), Gbk("备注")) +
        Lines({
            "<tr>",
            "<td width=\"180\">" + Gbk("本地域名解析") + "</td>",
            "<td id=textcenter width=\"100\"><font color=\"red\">" + Gbk("异常") + "</font></td>",
            "<td id=textcenter width=\"100\"><font color=\"#008000\">" + Gbk("成功") +
                "</font></td>",
            "<td id=textcenter width=\"100\"></td>",
            "</tr>",
        }) +
        CorrectRow(Gbk("程序启动项"), correct) + CorrectRow(Gbk("代理"), correct) +
        CertificateRowText(Gbk("证书有效性"), "red", Gbk("异常")) + "</table><br/>\n";
    EXPECT_EQ(Report("cs"), expected);
}

TEST_F(ReportTest, BuildReport_ChecksInOrderAndRepairsOnlyCheckCodeOne) {
    World().hosts = {ConfigLoaded, CheckWrong, 5};
    World().setup = {ConfigLoaded, CheckInternalError, Repaired};
    World().proxy = {ConfigLoaded, CheckWrong, Repaired};
    ToolWithLanguage tool("en");
    World().journal.clear();
    tool.BuildReport();
    EXPECT_THAT(World().journal, ElementsAre("hosts.Check", "hosts.Repair", "setup.Check",
                                             "proxy.Check", "proxy.Repair", "certificate"));
}

TEST_F(ReportTest, BuildReport_ChecksAgain_OnEveryCall) {
    ToolWithLanguage tool("en");
    World().journal.clear();
    EXPECT_EQ(tool.BuildReport(), tool.BuildReport());
    EXPECT_THAT(World().journal,
                ElementsAre("hosts.Check", "setup.Check", "proxy.Check", "certificate",
                            "hosts.Check", "setup.Check", "proxy.Check", "certificate"));
}

TEST_F(ReportTest, BuildReport_IsNoInitedAndChecksNothing_WhenToolIsUninitialised) {
    World().hostsFactoryYieldsNothing = true;
    ClientCheckTool tool(ResolveRunFacts(), Log());
    World().journal.clear();
    EXPECT_EQ(tool.BuildReport(), "No inited.\n");
    EXPECT_TRUE(World().journal.empty());
}

struct ResultCase {
    int check;
    int repair;
    std::vector<std::string> cells;
    bool repairCalled;
};

const std::string kGreenCorrect =
    "<td id=textcenter width=\"100\"><font color=\"#008000\">Correct</font></td>";
const std::string kRedError =
    "<td id=textcenter width=\"100\"><font color=\"red\">Error</font></td>";
const std::string kGreenSuccess =
    "<td id=textcenter width=\"100\"><font color=\"#008000\">Success</font></td>";
const std::string kRedDefeated =
    "<td id=textcenter width=\"100\"><font color=\"red\">Defeated</font></td>";
const std::string kEmptyComment = "<td id=textcenter width=\"100\"></td>";
const std::string kInternalError = "<td id=textcenter width=\"100\">Internal error</td>";

TEST_F(ReportTest, ItemRows_RenderEveryCheckOutcome_InAllThreeRows) {
    const ResultCase cases[] = {
        // a repair code that is not looked at, and codes outside the named ones, on purpose
        {CheckCorrect, Repaired, {kGreenCorrect, "<td id=textcenter></td>", kEmptyComment}, false},
        {CheckCorrect, 9, {kGreenCorrect, "<td id=textcenter></td>", kEmptyComment}, false},
        {CheckWrong, Repaired, {kRedError, kGreenSuccess, kEmptyComment}, true},
        {CheckWrong, HostsRepairFailed, {kRedError, kRedDefeated, kEmptyComment}, true},
        {CheckWrong, -1, {kRedError, kRedDefeated, kEmptyComment}, true},
        {CheckInternalError, Repaired, {kRedError, kRedDefeated, kInternalError}, false},
        {-1, Repaired, {kRedError, kRedDefeated, kInternalError}, false},
        {7, Repaired, {kRedError, kRedDefeated, kInternalError}, false},
    };
    struct Row {
        const char* name;
        FakeChecker FakeWorld::*checker;
        std::string (ClientCheckTool::*render)();
        const char* label;
    };
    const Row rows[] = {
        {"hosts", &FakeWorld::hosts, &ClientCheckTool::HostsRow, "Domain Name"},
        {"setup", &FakeWorld::setup, &ClientCheckTool::SetupRow, "App Setup"},
        {"proxy", &FakeWorld::proxy, &ClientCheckTool::ProxyRow, "Proxy"},
    };
    for (const Row& row : rows) {
        for (const ResultCase& c : cases) {
            ResetWorld();
            (World().*row.checker) = {ConfigLoaded, c.check, c.repair};
            ToolWithLanguage tool("en");
            World().journal.clear();
            const std::string expected =
                Lines({"<tr>", std::string("<td width=\"180\">") + row.label + "</td>", c.cells[0],
                       c.cells[1], c.cells[2], "</tr>"});
            EXPECT_EQ((tool.*row.render)(), expected)
                << row.name << " check " << c.check << " repair " << c.repair;
            std::vector<std::string> calls = {std::string(row.name) + ".Check"};
            if (c.repairCalled) {
                calls.push_back(std::string(row.name) + ".Repair");
            }
            EXPECT_EQ(World().journal, calls) << row.name << " check " << c.check;
        }
    }
}

TEST_F(ReportTest, CertificateRow_QueriesTheFileBesideTheProgram) {
    World().moduleFileName = "D:\\apps\\brevant\\tool.exe";
    ToolWithLanguage tool("en");
    tool.CertificateRow();
    EXPECT_THAT(World().certificatePaths,
                ElementsAre("D:\\apps\\brevant\\localhost_brevant_io.pem"));
}

TEST_F(ReportTest, CertificateRow_IsAbsentWithoutQuerying_WhenProgramPathIsUnknown) {
    World().moduleFileName = "";
    ToolWithLanguage tool("en");
    EXPECT_EQ(tool.CertificateRow(), "");
    EXPECT_TRUE(World().certificatePaths.empty());
}

TEST_F(ReportTest, CertificateRow_RendersEachOutcome) {
    const struct {
        CertificateStatus status;
        const char* language;
        std::string expected;
    } cases[] = {
        {CertificateStatus::Valid, "en", CertificateRowText("Creatificate", "#008000", "Correct")},
        {CertificateStatus::NotValidNow, "en", CertificateRowText("Creatificate", "red", "Error")},
        {CertificateStatus::NoCertificate, "en",
         CertificateRowText("Creatificate", "red", "Error")},
        {CertificateStatus::Unloadable, "en", ""},
        {CertificateStatus::Valid, "cs",
         CertificateRowText(Gbk("证书有效性"), "#008000", Gbk("正常"))},
        {CertificateStatus::NotValidNow, "cs",
         CertificateRowText(Gbk("证书有效性"), "red", Gbk("异常"))},
        {CertificateStatus::Unloadable, "cs", ""},
    };
    for (const auto& c : cases) {
        World().certificate = c.status;
        ToolWithLanguage tool(c.language);
        EXPECT_EQ(tool.CertificateRow(), c.expected)
            << "status " << static_cast<int>(c.status) << " language " << c.language;
    }
}

TEST_F(ReportTest, BuildReport_EndsWithProxyRow_WhenCertificateIsUnloadable) {
    World().certificate = CertificateStatus::Unloadable;
    EXPECT_EQ(Report("en"), ReportHead("Name", "Check result", "Repair result", "Comment") +
                                CorrectRow("Domain Name", "Correct") +
                                CorrectRow("App Setup", "Correct") +
                                CorrectRow("Proxy", "Correct") + "</table><br/>\n");
}

}  // namespace
