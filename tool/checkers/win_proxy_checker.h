#pragma once

#include "proxy_checker.h"

class WinProxyChecker : public ProxyChecker {
public:
    int Check() override;
    int Repair() override;
};
