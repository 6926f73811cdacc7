#pragma once

#include <string>

#include "hosts_checker.h"

// The hosts checker over the Windows file steps, on the file under the system directory (or at
// path).
class WinHostsChecker : public HostsChecker {
public:
    explicit WinHostsChecker(RepairLog& log, std::string path = SystemHostsFilePath());

    static std::string SystemHostsFilePath();
};
