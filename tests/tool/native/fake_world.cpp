#include "fake_world.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <utility>

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

// A checker of any kind that journals each call under its kind's name and answers from the
// world's settings for that kind.
template <typename Checker>
class RecordingChecker : public Checker {
public:
    RecordingChecker(std::string kind, const FakeChecker& answers)
        : kind(std::move(kind)), answers(answers) {}
    ~RecordingChecker() override { world.journal.push_back(kind + ".~"); }
    LoadCode LoadConfig(const pugi::xml_node& section) override {
        world.journal.push_back(kind + ".LoadConfig " + Describe(section));
        return static_cast<LoadCode>(answers.loadResult);
    }
    CheckCode Check() override {
        world.journal.push_back(kind + ".Check");
        return static_cast<CheckCode>(answers.check);
    }
    RepairResult Repair() override {
        world.journal.push_back(kind + ".Repair");
        return RepairResult{static_cast<RepairCode>(answers.repair), std::string(), 0};
    }

private:
    std::string kind;
    const FakeChecker& answers;
};

class WorldLog : public RepairLog {
public:
    unsigned long Append(const std::string& event) override {
        world.logged.push_back(event);
        return 0;
    }
};

}  // namespace

FakeWorld& World() { return world; }

void ResetWorld() { world = FakeWorld(); }

RepairLog& Log() {
    static WorldLog log;
    return log;
}

std::unique_ptr<RepairLog> CreateRepairLog(const std::string& folder) {
    world.logFolders.push_back(folder);
    return std::make_unique<WorldLog>();
}

std::unique_ptr<HostsChecker> CreateHostsChecker(RepairLog&) {
    world.journal.push_back("hosts.new");
    if (world.hostsFactoryYieldsNothing) {
        return nullptr;
    }
    return std::make_unique<RecordingChecker<HostsChecker>>("hosts", world.hosts);
}

std::unique_ptr<AssociatedSetupChecker> CreateAssociatedSetupChecker(const SetupNames& names,
                                                                     RepairLog&) {
    world.journal.push_back("setup.new");
    world.setupNames.push_back(names.programDirectory.value_or("(unknown)") + " " +
                               names.applicationName);
    return std::make_unique<RecordingChecker<AssociatedSetupChecker>>("setup", world.setup);
}

std::unique_ptr<ProxyChecker> CreateProxyChecker(RepairLog&) {
    world.journal.push_back("proxy.new");
    return std::make_unique<RecordingChecker<ProxyChecker>>("proxy", world.proxy);
}

std::string ModuleFileName() { return world.moduleFileName; }

std::string LongPathName(const std::string& path) {
    const auto found = world.longPaths.find(path);
    return found == world.longPaths.end() ? path : found->second;
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              std::uint64_t /*longestFile*/) {
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

// Natively the files are real: a text-mode stream, as the Windows side writes them.
bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path);
    if (!file.good()) {
        return false;
    }
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

FileContents ReadFileContents(const std::string& path, std::size_t longest) {
    world.filesRead.push_back(path);
    if (world.unreadableFiles.count(path) != 0) {
        return FileContents{FileRead::Unreadable, std::string()};
    }
    FileContents contents{FileRead::Read, std::string()};
    const auto found = world.files.find(path);
    if (found != world.files.end()) {
        contents.bytes = found->second;
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            return FileContents{FileRead::Absent, std::string()};
        }
        contents.bytes.assign(std::istreambuf_iterator<char>(file),
                              std::istreambuf_iterator<char>());
    }
    if (contents.bytes.size() > longest) {
        return FileContents{FileRead::TooLarge, std::string()};
    }
    return contents;
}

namespace {

class JournalledLock : public MachineLock {
public:
    JournalledLock() { world.journal.push_back("lock"); }
    ~JournalledLock() override { world.journal.push_back("unlock"); }
};

}  // namespace

std::unique_ptr<MachineLock> LockMachine() {
    if (!world.lockGiven) {
        world.journal.push_back("no lock");
        return nullptr;
    }
    return std::make_unique<JournalledLock>();
}
