#pragma once

#include <string>
#include <utility>
#include <vector>

#include "associated_setup_checker.h"

class WinAssociatedSetupChecker : public AssociatedSetupChecker {
public:
    // names: the program's folder and the application name the templates are filled with; the
    // repairs are written ahead in log
    WinAssociatedSetupChecker(SetupNames names, RepairLog& log)
        : names(std::move(names)), log(&log) {}
    LoadCode LoadConfig(const pugi::xml_node& section) override;
    CheckCode Check() override;
    RepairResult Repair() override;

    const std::vector<SetupItem>& Items() const { return items; }

private:
    SetupNames names;
    RepairLog* log;
    std::vector<SetupItem> items;
    // the last LoadConfig could not resolve the application name or the program directory
    bool unresolved = false;
    // the last Check refused to go on: the scheme's keys are another program's, or an item's text
    // does not convert for the registry
    bool refused = false;
};
