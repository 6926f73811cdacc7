#pragma once

#include <memory>

#include <pugixml.hpp>

// Makes sure the registry registers the application name as a URL protocol.
class AssociatedSetupChecker {
public:
    virtual ~AssociatedSetupChecker() = default;
    virtual int LoadConfig(const pugi::xml_node& section) = 0;
    virtual int Check() = 0;
    virtual int Repair() = 0;
};

// The Windows implementation, with an empty item list.
std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker();
