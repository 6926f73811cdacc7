#pragma once

#include <memory>
#include <optional>
#include <string>

#include <pugixml.hpp>

#include "associated_setup_checker.h"
#include "hosts_checker.h"
#include "proxy_checker.h"
#include "report_labels.h"
#include "run_facts.h"

// Owns the three checkers, holds the report language, hands out the configuration and builds the
// HTML report. The run's facts give the registration its names, the certificate row its folder and
// the report its language until Init sets one.
class ClientCheckTool {
public:
    explicit ClientCheckTool(const RunFacts& facts);
    virtual ~ClientCheckTool();
    ClientCheckTool(const ClientCheckTool&) = delete;
    ClientCheckTool& operator=(const ClientCheckTool&) = delete;

    virtual std::string BuildReport();
    virtual bool Init(const std::string& lang, const std::string& config, bool isFile);
    virtual bool LoadHostsConfig(const pugi::xml_document& document);
    virtual bool LoadSetupConfig(const pugi::xml_document& document);
    virtual bool LoadProxyConfig(const pugi::xml_document& document);
    virtual std::string HostsRow();
    virtual std::string SetupRow();
    virtual std::string ProxyRow();
    virtual std::string CertificateRow();
    virtual std::string HostsResultCells(int check, int repair);
    virtual std::string SetupResultCells(int check, int repair);
    virtual std::string ProxyResultCells(int check, int repair);

    std::string Label(int index) const;

protected:
    bool inited = false;
    std::unique_ptr<HostsChecker> hostsChecker;
    std::unique_ptr<AssociatedSetupChecker> setupChecker;
    std::unique_ptr<ProxyChecker> proxyChecker;
    std::string lang;
    std::optional<std::string> programDirectory;
    bool mayRepair = true;

private:
    // Checks one item, repairs it when the check asks for it and renders its row.
    template <typename Checker>
    std::string ItemRow(Checker& checker, ReportLabel label,
                        std::string (ClientCheckTool::*resultCells)(int check, int repair));
};
