#pragma once

#include "hosts_checker.h"

// Reads and writes the hosts file under the Windows system directory.
class WinHostsChecker : public HostsChecker {
public:
    int Repair() override;
    std::string GetHostsFilePath() override;
    int BuildHostsContent() override;
};
