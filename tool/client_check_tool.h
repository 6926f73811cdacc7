#pragma once

#include <memory>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "associated_setup_checker.h"
#include "hosts_checker.h"
#include "outcomes.h"
#include "proxy_checker.h"
#include "repair_log.h"
#include "report_labels.h"
#include "run_facts.h"

// Owns the three checkers, holds the report language, hands out the configuration and builds the
// HTML report. The run's facts give the setup its names, the certificate row its folder and the
// report its language until Init sets one; the checkers write their repairs ahead in log, and the
// report's rows the repairs that failed.
class ClientCheckTool {
public:
    ClientCheckTool(const RunFacts& facts, RepairLog& log);
    ~ClientCheckTool();
    ClientCheckTool(const ClientCheckTool&) = delete;
    ClientCheckTool& operator=(const ClientCheckTool&) = delete;

    std::string BuildReport();
    // Sets the language and hands each checker its section of the configuration document config.
    bool Init(const std::string& lang, const std::string& config);
    bool LoadHostsConfig(const pugi::xml_document& document);
    bool LoadSetupConfig(const pugi::xml_document& document);
    bool LoadProxyConfig(const pugi::xml_document& document);
    std::string HostsRow();
    std::string SetupRow();
    std::string ProxyRow();
    std::string CertificateRow();

    std::string Label(int index) const;

protected:
    bool inited = false;
    std::unique_ptr<HostsChecker> hostsChecker;
    std::unique_ptr<AssociatedSetupChecker> setupChecker;
    std::unique_ptr<ProxyChecker> proxyChecker;
    std::string lang;
    std::optional<std::string> programDirectory;
    bool mayRepair = true;
    RepairLog& log;

private:
    // Checks one item, repairs it when the check asks for it (a repair that fails goes to the log
    // under the row's English name) and renders its row.
    template <typename Checker>
    std::string ItemRow(Checker& checker, ReportLabel label, const char* logName);
    std::string ResultCells(CheckCode check, RepairCode repair) const;
};
