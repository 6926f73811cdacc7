#include "fake_world.h"

#include <memory>

#include "associated_setup_checker.h"
#include "hosts_checker.h"
#include "proxy_checker.h"

namespace {

FakeWorld world;

// "name" or "name#id" of the node a checker was handed, "(empty)" for the empty node.
std::string Describe(const pugi::xml_node& node) {
    if (!node) {
        return "(empty)";
    }
    std::string text = node.name();
    const pugi::xml_attribute id = node.attribute("id");
    if (id) {
        text += std::string("#") + id.value();
    }
    return text;
}

class FakeHostsChecker : public HostsChecker {
public:
    ~FakeHostsChecker() override { world.journal.push_back("hosts.~"); }
    int LoadConfig(const pugi::xml_node& hostsElement) override {
        world.journal.push_back("hosts.LoadConfig " + Describe(hostsElement));
        return world.hosts.loadResult;
    }
    int Check() override {
        world.journal.push_back("hosts.Check");
        return world.hosts.check;
    }
    int Repair() override {
        world.journal.push_back("hosts.Repair");
        return world.hosts.repair;
    }
};

class FakeSetupChecker : public AssociatedSetupChecker {
public:
    ~FakeSetupChecker() override { world.journal.push_back("setup.~"); }
    int LoadConfig(const pugi::xml_node& section) override {
        world.journal.push_back("setup.LoadConfig " + Describe(section));
        return world.setup.loadResult;
    }
    int Check() override {
        world.journal.push_back("setup.Check");
        return world.setup.check;
    }
    int Repair() override {
        world.journal.push_back("setup.Repair");
        return world.setup.repair;
    }
};

class FakeProxyChecker : public ProxyChecker {
public:
    ~FakeProxyChecker() override { world.journal.push_back("proxy.~"); }
    int LoadConfig(const pugi::xml_node& section) override {
        world.journal.push_back("proxy.LoadConfig " + Describe(section));
        return world.proxy.loadResult;
    }
    int Check() override {
        world.journal.push_back("proxy.Check");
        return world.proxy.check;
    }
    int Repair() override {
        world.journal.push_back("proxy.Repair");
        return world.proxy.repair;
    }
};

}  // namespace

FakeWorld& World() { return world; }

void ResetWorld() { world = FakeWorld(); }

std::unique_ptr<HostsChecker> CreateHostsChecker() {
    world.journal.push_back("hosts.new");
    if (world.hostsFactoryYieldsNothing) {
        return nullptr;
    }
    return std::make_unique<FakeHostsChecker>();
}

std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker() {
    world.journal.push_back("setup.new");
    return std::make_unique<FakeSetupChecker>();
}

std::unique_ptr<ProxyChecker> CreateProxyChecker() {
    world.journal.push_back("proxy.new");
    return std::make_unique<FakeProxyChecker>();
}

std::string ModuleFileName() { return world.moduleFileName; }

std::string ReadProfileString(const std::string& file, const char* section, const char* key) {
    world.profileFilesRead.push_back(file);
    if (std::string(section) != "setting" || std::string(key) != "language") {
        return std::string();
    }
    const auto found = world.languageValues.find(file);
    return found == world.languageValues.end() ? std::string() : found->second.substr(0, 31);
}

CertificateStatus QueryCertificateFile(const std::string& path) {
    world.journal.push_back("certificate");
    world.certificatePaths.push_back(path);
    return world.certificate;
}

// The hosts checker's own seam; the fake hosts checker never reaches it.
std::string SystemDirectory() { return std::string(); }
