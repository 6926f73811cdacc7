#include "client_check_tool.h"

#include <limits>
#include <optional>

#include "platform.h"
#include "repair_log.h"

namespace {

// The first top-level element of exactly that name, or the empty node.
pugi::xml_node TopLevelElement(const pugi::xml_document& document, const char* name) {
    return document.child(name);
}

}  // namespace

ClientCheckTool::ClientCheckTool(const RunFacts& facts) {
    hostsChecker = CreateHostsChecker();
    if (!hostsChecker) {
        return;
    }
    setupChecker = CreateAssociatedSetupChecker({facts.programDirectory, facts.applicationName});
    proxyChecker = CreateProxyChecker();
    if (!setupChecker || !proxyChecker) {
        return;
    }
    lang = facts.language;
    programDirectory = facts.programDirectory;
    mayRepair = facts.mayRepair;
    inited = true;
}

ClientCheckTool::~ClientCheckTool() {
    // hosts, setup, proxy: the order the checkers were created in, not the members' reverse order
    hostsChecker.reset();
    setupChecker.reset();
    proxyChecker.reset();
}

bool ClientCheckTool::Init(const std::string& language, const std::string& config, bool isFile) {
    if (!inited) {
        return false;
    }
    lang = language;
    pugi::xml_document document;
    pugi::xml_parse_result parsed;  // a failure until a load succeeds
    if (!isFile) {
        parsed = document.load_string(config.c_str());
    } else if (const FileContents file =
                   ReadFileContents(config, std::numeric_limits<std::size_t>::max());
               file.status == FileRead::Read) {
        // read through the wide calls; the encoding is detected as load_file detects it
        parsed = document.load_buffer(file.bytes.data(), file.bytes.size());
    }
    if (!parsed) {
        return false;
    }
    LoadHostsConfig(document);
    LoadSetupConfig(document);
    LoadProxyConfig(document);
    return true;
}

bool ClientCheckTool::LoadHostsConfig(const pugi::xml_document& document) {
    return hostsChecker->LoadConfig(TopLevelElement(document, "hosts")) == ConfigLoaded;
}

bool ClientCheckTool::LoadSetupConfig(const pugi::xml_document& document) {
    return setupChecker->LoadConfig(TopLevelElement(document, "setup")) == ConfigLoaded;
}

bool ClientCheckTool::LoadProxyConfig(const pugi::xml_document& document) {
    return proxyChecker->LoadConfig(TopLevelElement(document, "proxy")) == ConfigLoaded;
}

std::string ClientCheckTool::Label(int index) const { return LabelText(lang, index); }

std::string ClientCheckTool::BuildReport() {
    if (!inited) {
        return "No inited.\n";
    }
    std::string report =
        "<table border=\"1\" align=\"center\" cellspacing=\"0\" cellpadding=\"8\">\n<tr>\n";
    for (int label : {LabelName, LabelCheckResult, LabelRepairResult, LabelComment}) {
        report += "<th id=textcenter>" + Label(label) + "</th>\n";
    }
    // no "</tr>" after the header cells: the next row closes the header row
    report += HostsRow();
    report += SetupRow();
    report += ProxyRow();
    report += CertificateRow();
    report += "</table><br/>\n";
    return report;
}

template <typename Checker>
std::string ClientCheckTool::ItemRow(Checker& checker, ReportLabel label,
                                     std::string (ClientCheckTool::*resultCells)(int, int)) {
    const int check = checker.Check();
    // without a repair the repair code is not looked at
    int repair = Repaired;
    if (check == CheckWrong && !mayRepair) {
        repair = RepairSkippedWithoutLock;
    } else if (check == CheckWrong) {
        repair = checker.Repair();
        if (repair != Repaired) {
            LogRepair(RepairFailedEvent(LabelText("en", label), checker.LastRepairFailure()));
        }
    }
    return "<tr>\n<td width=\"180\">" + Label(label) + "</td>\n" +
           (this->*resultCells)(check, repair) + "</tr>\n";
}

std::string ClientCheckTool::HostsRow() {
    return ItemRow(*hostsChecker, LabelDomainName, &ClientCheckTool::HostsResultCells);
}

std::string ClientCheckTool::SetupRow() {
    return ItemRow(*setupChecker, LabelAppSetup, &ClientCheckTool::SetupResultCells);
}

std::string ClientCheckTool::ProxyRow() {
    return ItemRow(*proxyChecker, LabelProxy, &ClientCheckTool::ProxyResultCells);
}

std::string ClientCheckTool::HostsResultCells(int check, int repair) {
    if (check == CheckCorrect) {
        return ResultCell(CellForm::Item, ResultColour::Green, Label(LabelCorrect)) +
               "<td id=textcenter></td>\n" + "<td id=textcenter width=\"100\"></td>\n";
    }
    if (check == CheckWrong) {
        const std::string repairCell =
            repair == Repaired
                ? ResultCell(CellForm::Item, ResultColour::Green, Label(LabelSuccess))
                : ResultCell(CellForm::Item, ResultColour::Red, Label(LabelDefeated));
        return ResultCell(CellForm::Item, ResultColour::Red, Label(LabelError)) + repairCell +
               "<td id=textcenter width=\"100\"></td>\n";
    }
    return ResultCell(CellForm::Item, ResultColour::Red, Label(LabelError)) +
           ResultCell(CellForm::Item, ResultColour::Red, Label(LabelDefeated)) +
           "<td id=textcenter width=\"100\">" + Label(LabelInternalError) + "</td>\n";
}

std::string ClientCheckTool::SetupResultCells(int check, int repair) {
    return ClientCheckTool::HostsResultCells(check, repair);
}

std::string ClientCheckTool::ProxyResultCells(int check, int repair) {
    return ClientCheckTool::HostsResultCells(check, repair);
}
