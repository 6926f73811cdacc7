#include "client_check_tool.h"

#include "report_labels.h"

namespace {

const char kGreen[] = "#008000";
const char kRed[] = "red";

std::string ColouredCell(const char* colour, const std::string& text) {
    return "<td id=textcenter width=\"100\"><font color=\"" + std::string(colour) + "\">" + text +
           "</font></td>\n";
}

// The first top-level element of exactly that name, or the empty node.
pugi::xml_node TopLevelElement(const pugi::xml_document& document, const char* name) {
    return document.child(name);
}

}  // namespace

ClientCheckTool::ClientCheckTool() {
    hostsChecker = CreateHostsChecker();
    if (!hostsChecker) {
        return;
    }
    setupChecker = CreateAssociatedSetupChecker();
    proxyChecker = CreateProxyChecker();
    if (!setupChecker || !proxyChecker) {
        return;
    }
    lang = ReadLanguageSetting();
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
    const pugi::xml_parse_result parsed =
        isFile ? document.load_file(config.c_str()) : document.load_string(config.c_str());
    if (!parsed) {
        return false;
    }
    LoadHostsConfig(document);
    LoadSetupConfig(document);
    LoadProxyConfig(document);
    return true;
}

bool ClientCheckTool::LoadHostsConfig(const pugi::xml_document& document) {
    return hostsChecker->LoadConfig(TopLevelElement(document, "hosts")) == 0;
}

bool ClientCheckTool::LoadSetupConfig(const pugi::xml_document& document) {
    return setupChecker->LoadConfig(TopLevelElement(document, "setup")) == 0;
}

bool ClientCheckTool::LoadProxyConfig(const pugi::xml_document& document) {
    return proxyChecker->LoadConfig(TopLevelElement(document, "proxy")) == 0;
}

std::string ClientCheckTool::BuildReport() {
    if (!inited) {
        return "No inited.\n";
    }
    std::string report =
        "<table border=\"1\" align=\"center\" cellspacing=\"0\" cellpadding=\"8\">\n<tr>\n";
    for (int label : {kLabelName, kLabelCheckResult, kLabelRepairResult, kLabelComment}) {
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

std::string ClientCheckTool::HostsRow() {
    const int check = hostsChecker->Check();
    const int repair = check == 1 ? hostsChecker->Repair() : 0;
    return "<tr>\n<td width=\"180\">" + Label(kLabelDomainName) + "</td>\n" +
           HostsResultCells(check, repair) + "</tr>\n";
}

std::string ClientCheckTool::SetupRow() {
    const int check = setupChecker->Check();
    const int repair = check == 1 ? setupChecker->Repair() : 0;
    return "<tr>\n<td width=\"180\">" + Label(kLabelAppSetup) + "</td>\n" +
           SetupResultCells(check, repair) + "</tr>\n";
}

std::string ClientCheckTool::ProxyRow() {
    const int check = proxyChecker->Check();
    const int repair = check == 1 ? proxyChecker->Repair() : 0;
    return "<tr>\n<td width=\"180\">" + Label(kLabelProxy) + "</td>\n" +
           ProxyResultCells(check, repair) + "</tr>\n";
}

std::string ClientCheckTool::HostsResultCells(int check, int repair) {
    if (check == 0) {
        return ColouredCell(kGreen, Label(kLabelCorrect)) + "<td id=textcenter></td>\n" +
               "<td id=textcenter width=\"100\"></td>\n";
    }
    if (check == 1) {
        const std::string repairCell = repair == 0 ? ColouredCell(kGreen, Label(kLabelSuccess))
                                                   : ColouredCell(kRed, Label(kLabelDefeated));
        return ColouredCell(kRed, Label(kLabelError)) + repairCell +
               "<td id=textcenter width=\"100\"></td>\n";
    }
    return ColouredCell(kRed, Label(kLabelError)) + ColouredCell(kRed, Label(kLabelDefeated)) +
           "<td id=textcenter width=\"100\">" + Label(kLabelInternalError) + "</td>\n";
}

std::string ClientCheckTool::SetupResultCells(int check, int repair) {
    return ClientCheckTool::HostsResultCells(check, repair);
}

std::string ClientCheckTool::ProxyResultCells(int check, int repair) {
    return ClientCheckTool::HostsResultCells(check, repair);
}
