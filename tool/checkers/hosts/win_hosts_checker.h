#pragma once

#include <memory>
#include <string>

#include "hosts_checker.h"

// Reads and writes the hosts file under the Windows system directory (or at path), its rules and
// their order taken from CheckHostsFile and RepairHostsFile over the Windows file steps.
class WinHostsChecker : public HostsChecker {
public:
    explicit WinHostsChecker(RepairLog& log, std::string path = SystemHostsFilePath());
    ~WinHostsChecker() override;
    CheckCode Check() override;
    RepairResult Repair() override;
    const std::string& GetHostsFilePath() const;

    static std::string SystemHostsFilePath();

private:
    class Steps;
    std::unique_ptr<Steps> steps;
    RepairLog* log;
    HostsPlan plan;
};
