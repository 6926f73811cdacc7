#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>
#include <vector>

#include "associated_setup_checker.h"

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueHkey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

class WinAssociatedSetupChecker : public AssociatedSetupChecker {
public:
    int LoadConfig(const pugi::xml_node& section) override;
    int Check() override;
    int Repair() override;

    const std::vector<SetupItem>& Items() const { return items; }

private:
    std::vector<SetupItem> items;
    // the last LoadConfig could not resolve the application name or the program directory
    bool unresolved = false;
};
