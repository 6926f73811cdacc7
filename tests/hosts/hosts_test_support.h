#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hosts_checker.h"

inline const std::string kDomain = "localhost.brevant.io";
// "127.0.0.1", twelve spaces, the name
inline const std::string kCanonical = "127.0.0.1            localhost.brevant.io";
inline const std::string kDefaultHosts =
    "<hosts>\t<hosts1 domain=\"localhost.brevant.io\" ip=\"127.0.0.1\"/>\t</hosts>";

// Loads a hosts section given as XML text; returns LoadConfig's result.
inline int LoadHostsSection(HostsChecker& checker, const std::string& xml) {
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str()));
    return checker.LoadConfig(document.child("hosts"));
}

// The hosts file's steps over bytes in memory; a step named in fails answers its error there (and
// "read-only" or "folder" stands in the file's place).
class FakeHostsFile : public HostsFile {
public:
    std::string path = "C:\\windows\\system32\\drivers\\etc\\hosts.ics";
    std::optional<std::string> bytes;  // the file; none when it is absent
    std::optional<std::string> backup;
    std::map<std::string, unsigned long> fails;
    int opened = 0;

    const std::string& Path() const override { return path; }
    Opened OpenSource() override {
        ++opened;
        open = bytes && !Fail("open");
        return open ? Open : bytes ? Unreadable : Absent;
    }
    void CloseSource() override { open = false; }
    // the bytes as they are now, in pieces of seven; a closed file cannot be rewound
    ByteReader ReadSource(unsigned long& error) override {
        read = open ? *bytes : std::string();
        if (!open) error = 6;
        return [this, &error](char* buffer, std::size_t size) -> std::size_t {
            if (error == 0) error = Fail("read");
            const std::size_t piece =
                error != 0 ? 0 : std::min<std::size_t>({size, read.size(), 7});
            read.copy(buffer, piece);
            read.erase(0, piece);
            return piece;
        };
    }
    std::size_t SourceSize() override { return bytes ? bytes->size() : 0; }
    Place FindPlace() override {
        return {bytes.has_value(), Fail("read-only") != 0, Fail("folder") != 0};
    }
    unsigned long CreateTemporary() override { return Fail("create"); }
    ByteWriter WriteTemporary(unsigned long& error) override {
        return [this, &error](const char* data, std::size_t size) {
            temporary.append(data, size);
            return (error = Fail("write")) == 0;
        };
    }
    unsigned long EmptyTemporary() override {
        temporary.clear();
        return 0;
    }
    unsigned long FlushTemporary() override { return Fail("flush"); }
    unsigned long CarryAttributes() override { return Fail("attributes"); }
    unsigned long AwaitReplaceable() override { return Fail("await"); }
    unsigned long MakeBackup() override {
        earlier = backup;
        backedUp = true;
        if (Fail("backup") == 0) backup = bytes;
        return Fail("backup");
    }
    // a replace that fails gives the earlier backup back
    unsigned long Replace() override {
        if (Fail("replace") == 0) {
            bytes = temporary;
        } else if (backedUp) {
            backup = earlier;
        }
        return Fail("replace");
    }
    void EndRepair() override {}

private:
    unsigned long Fail(const std::string& step) const {
        const auto found = fails.find(step);
        return found == fails.end() ? 0 : found->second;
    }

    bool open = false;
    std::string read;
    std::string temporary;
    std::optional<std::string> earlier;
    bool backedUp = false;
};

// A repair log that keeps its lines, or refuses each with an error.
struct FakeRepairLog : RepairLog {
    unsigned long Append(const std::string& event) override {
        if (refuse == 0) lines.push_back(event);
        return refuse;
    }
    std::vector<std::string> lines;
    unsigned long refuse = 0;
};
