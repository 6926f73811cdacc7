#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "line_scan.h"
#include "outcomes.h"
#include "repair_log.h"

// Host name -> address. std::string compares like memcmp, so the names are ordered byte-wise,
// bytes unsigned, a prefix before the longer name.
using HostsEntries = std::map<std::string, std::string>;

// What the hosts rules make of one file.
struct HostsRewrite {
    // CheckCorrect, CheckWrong, or CheckInternalError when the bytes are not byte text
    CheckCode check = CheckCorrect;
    // the text the file should have, with LF line ends; empty after CheckInternalError
    std::string text;
};

// The hosts rules over the bytes of a hosts file (empty for a missing file):
// - the file is lines ending in CR LF or LF (a lone CR stays in its line); a file with a UTF-16
//   byte-order mark or any NUL byte is not byte text and must be left alone;
// - a line's tokens are its runs of bytes other than the C locale's whitespace: an address, a host
//   name, anything more is an extra; blank lines and lines starting with "#" carry none;
// - the first line whose host name is configured becomes the canonical line of that name (right
//   when its address is the configured one and it has no extra), each later one is commented out
//   with "# ", every other line is kept byte for byte;
// - configured names no line carries are appended as canonical lines, in the entries' order.
// The check code is CheckWrong when anything had to change.
HostsRewrite RewriteHosts(std::string_view fileBytes, const HostsEntries& entries);

// The same over a file read piece by piece, so that a large file is never held whole besides its
// text; fileSize (0 when unknown) sizes the text. read answers how many bytes it put in buffer, 0
// at the end of the file. A read that fails must be noticed by the caller: the rules cannot tell it
// from the end of the file.
HostsRewrite RewriteHosts(const std::function<std::size_t(char* buffer, std::size_t size)>& read,
                          std::size_t fileSize, const HostsEntries& entries);

// Whether the rules only append lines to the file that read gives: byte text whose lines all end
// in CR LF, in which none of the names stands. The repaired file is then the file's own bytes and
// AppendedLines after them, so it need not be held: copy, when there is one, receives the bytes as
// they are read. Reading stops at the first piece that shows otherwise, or that copy refuses.
UnchangedRead ReadOnlyAppended(const ByteReader& read, const HostsEntries& entries,
                               const ByteWriter& copy = nullptr);

// The canonical line of every entry, in the entries' order, written as the rewrite's text is
// written (each line feed as CR LF): what a file that ReadOnlyAppended passes gets appended.
std::string AppendedLines(const HostsEntries& entries);

// The hosts file under systemDirectory, or empty when there is no directory or the joined path
// would not fit a 260-byte path buffer with its terminator.
std::string HostsFilePath(const std::string& systemDirectory);

// The steps of the hosts file that the check and the repair take: the Windows checker's over the
// system's file, a fake's in the tests. A step answers the platform's error code, 0 when it did
// what it says.
class HostsFile {
public:
    enum Opened { Open, Absent, Unreadable };
    // what the repair finds in the file's place
    struct Place {
        bool exists = false;
        bool readOnly = false;
        bool folder = false;
    };
    virtual ~HostsFile() = default;
    // the file's path, empty when unknown
    virtual const std::string& Path() const = 0;
    // check: opens the file for reading, and lets it go
    virtual Opened OpenSource() = 0;
    virtual void CloseSource() = 0;
    // The open file's bytes from its start (a rewind that fails ends them at once) and its size;
    // a read or rewind that fails leaves its error in error.
    virtual ByteReader ReadSource(unsigned long& error) = 0;
    virtual std::size_t SourceSize() = 0;
    // repair: the new text goes to a temporary beside the file, which replaces it once it is
    // written, flushed and given the file's attributes
    virtual Place FindPlace() = 0;
    virtual unsigned long CreateTemporary() = 0;
    // A write that fails leaves its error in error.
    virtual ByteWriter WriteTemporary(unsigned long& error) = 0;
    virtual unsigned long EmptyTemporary() = 0;
    virtual unsigned long FlushTemporary() = 0;
    virtual unsigned long CarryAttributes() = 0;
    // waits while another program holds the file so that it cannot be replaced
    virtual unsigned long AwaitReplaceable() = 0;
    // hosts.ics.bak: the file as it is, before the replace
    virtual unsigned long MakeBackup() = 0;
    // puts the temporary in the file's place; a replace that fails gives the earlier backup back
    virtual unsigned long Replace() = 0;
    // lets go of what the repair made, whether it succeeded or not
    virtual void EndRepair() = 0;
};

// The platform's codes of the refusals that the repair decides itself: ERROR_FILE_READ_ONLY and
// ERROR_ACCESS_DENIED.
constexpr unsigned long kReadOnlyFileError = 6009;
constexpr unsigned long kAccessDeniedError = 5;

// What a check leaves its repair: the rules only append to the file, which is then copied as it
// is at the repair, or else the rules' text for it (with LF line ends).
struct HostsPlan {
    bool copy = false;
    std::string text;
};

// The check of file: CheckCorrect without reading it when nothing is configured; CheckInternalError
// when it is there but cannot be read, as rebuilt from nothing its lines would be lost. A file the
// rules only append to stays open for its repair.
CheckCode CheckHostsFile(HostsFile& file, const HostsEntries& entries, HostsPlan& plan);

// The repair the check planned. The text goes to a temporary first and replaces the file only once
// it is written whole, so a failure at any step leaves the file as it was. The replaced file stays
// as the backup; when none can be made, that is written in log first, and without that line there
// is no replace.
RepairResult RepairHostsFile(HostsFile& file, const HostsEntries& entries, const HostsPlan& plan,
                             RepairLog& log);

// Makes sure the hosts file maps every configured host name to its configured address: the rules
// are RewriteHosts, taken to the file by CheckHostsFile and RepairHostsFile over file.
class HostsChecker {
public:
    // file and log may be null only for a checker whose Check and Repair are its own
    explicit HostsChecker(std::unique_ptr<HostsFile> file = nullptr, RepairLog* log = nullptr);
    virtual ~HostsChecker();
    virtual LoadCode LoadConfig(const pugi::xml_node& hostsElement);
    virtual CheckCode Check();
    virtual RepairResult Repair();
    // the path of the file, empty when it is unknown
    const std::string& GetHostsFilePath() const;
    // The canonical line: the address padded with blanks to 21 characters (five at least), then
    // the name.
    std::string MakeHostsLine(const std::string& hostName, const std::string& address) const;

protected:
    HostsEntries entries;

private:
    std::unique_ptr<HostsFile> file;
    RepairLog* log;
    HostsPlan plan;
};

// The Windows implementation; its repairs are written ahead in log. Never returns null.
std::unique_ptr<HostsChecker> CreateHostsChecker(RepairLog& log);
