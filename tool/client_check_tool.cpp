#include "client_check_tool.h"

#include "platform.h"

ClientCheckTool::ClientCheckTool(const RunFacts& facts, RepairLog& repairLog) : log(repairLog) {
    hostsChecker = CreateHostsChecker(log);
    if (!hostsChecker) {
        return;
    }
    setupChecker =
        CreateAssociatedSetupChecker({facts.programDirectory, facts.applicationName}, log);
    proxyChecker = CreateProxyChecker(log);
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

bool ClientCheckTool::Init(const std::string& language, const std::string& config) {
    if (!inited) {
        return false;
    }
    lang = language;
    pugi::xml_document document;
    if (!document.load_string(config.c_str())) {
        return false;
    }
    LoadHostsConfig(document);
    LoadSetupConfig(document);
    LoadProxyConfig(document);
    return true;
}

// Each checker gets the first top-level element of exactly its name, or the empty node.
bool ClientCheckTool::LoadHostsConfig(const pugi::xml_document& document) {
    return hostsChecker->LoadConfig(document.child("hosts")) == ConfigLoaded;
}

bool ClientCheckTool::LoadSetupConfig(const pugi::xml_document& document) {
    return setupChecker->LoadConfig(document.child("setup")) == ConfigLoaded;
}

bool ClientCheckTool::LoadProxyConfig(const pugi::xml_document& document) {
    return proxyChecker->LoadConfig(document.child("proxy")) == ConfigLoaded;
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
std::string ClientCheckTool::ItemRow(Checker& checker, ReportLabel label, const char* logName) {
    const CheckCode check = checker.Check();
    // without a repair the repair code is not looked at
    RepairResult repair;
    if (check == CheckWrong && !mayRepair) {
        repair.code = RepairSkippedWithoutLock;
    } else if (check == CheckWrong) {
        repair = checker.Repair();
        if (repair != Repaired) {
            log.Append(RepairFailedEvent(logName, repair.step, repair.error));
        }
    }
    return "<tr>\n<td width=\"180\">" + Label(label) + "</td>\n" + ResultCells(check, repair.code) +
           "</tr>\n";
}

std::string ClientCheckTool::HostsRow() {
    return ItemRow(*hostsChecker, LabelDomainName, "Domain Name");
}

std::string ClientCheckTool::SetupRow() {
    return ItemRow(*setupChecker, LabelAppSetup, "App Setup");
}

std::string ClientCheckTool::ProxyRow() { return ItemRow(*proxyChecker, LabelProxy, "Proxy"); }

std::string ClientCheckTool::ResultCells(CheckCode check, RepairCode repair) const {
    const auto cell = [this](ResultColour colour, ReportLabel label) {
        return ResultCell(CellForm::Item, colour, Label(label));
    };
    if (check == CheckCorrect) {
        return cell(ResultColour::Green, LabelCorrect) + "<td id=textcenter></td>\n" +
               "<td id=textcenter width=\"100\"></td>\n";
    }
    // any other code but a wrong item's is an internal error, whose repair was never tried
    const bool repaired = check == CheckWrong && repair == Repaired;
    return cell(ResultColour::Red, LabelError) +
           cell(repaired ? ResultColour::Green : ResultColour::Red,
                repaired ? LabelSuccess : LabelDefeated) +
           "<td id=textcenter width=\"100\">" +
           (check == CheckWrong ? std::string() : Label(LabelInternalError)) + "</td>\n";
}

std::string ClientCheckTool::CertificateRow() {
    // the program's folder is unknown: there is no file to load
    if (!programDirectory) {
        return std::string();
    }
    const CertificateStatus status =
        QueryCertificateFile(*programDirectory + "localhost_brevant_io.pem");
    if (status == CertificateStatus::Unloadable) {
        return std::string();
    }
    // a file that loads without a certificate cannot be valid: it shows as an error
    const bool valid = status == CertificateStatus::Valid;
    const std::string statusCell =
        ResultCell(CellForm::Certificate, valid ? ResultColour::Green : ResultColour::Red,
                   Label(valid ? LabelCorrect : LabelError));
    return "<tr>\n<td>" + Label(LabelCertificate) + "</td>\n" + statusCell +
           "<td id=textcenter></td>\n<td id=textcenter></td>\n</tr>\n";
}
