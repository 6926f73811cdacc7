#pragma once

#include "proxy_checker.h"

class WinProxyChecker : public ProxyChecker {
public:
    explicit WinProxyChecker(RepairLog& log) : log(&log) {}
    CheckCode Check() override;
    RepairResult Repair() override;

private:
    RepairLog* log;
};
