#pragma once

#include "hosts_checker.h"

// Writes the repaired text to the hosts file under the Windows system directory.
class WinHostsChecker : public HostsChecker {
public:
    int Repair() override;
};
