#pragma once

#include "hosts_checker.h"

class WinHostsChecker : public HostsChecker {
public:
    int Repair() override;
};
