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

// Host name -> address. std::string compares like memcmp, so the names are ordered byte-wise,
// bytes unsigned, a prefix before the longer name.
using HostsEntries = std::map<std::string, std::string>;

// What the hosts rules make of one file.
struct HostsRewrite {
    // CheckCorrect, CheckWrong, or CheckInternalError when the bytes are not byte text
    int check = CheckCorrect;
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

// Makes sure the hosts file maps every configured host name to its configured address. The rules
// are RewriteHosts; the Windows checker reads and writes the file.
class HostsChecker : public RepairFailureRecord {
public:
    virtual ~HostsChecker() = default;
    virtual int LoadConfig(const pugi::xml_node& hostsElement);
    virtual int Check();
    virtual int Repair() = 0;
    virtual std::string GetHostsFilePath() = 0;
    // Reads the file, sets repairedContent to what RewriteHosts makes of it (or leaves it empty
    // when the rules only append to the file) and returns its code.
    virtual int BuildHostsContent() = 0;
    // The rule for one line, as RewriteHosts applies it with the configured entries: true when the
    // line was wrong; seen marks the names a live line carried already.
    virtual bool FixHostsLine(std::string& line,
                              const std::map<std::string, std::string>& configured,
                              std::map<std::string, bool>& seen);
    // The canonical line: the address padded with blanks to 21 characters (five at least), then
    // the name.
    virtual std::string MakeHostsLine(const std::string& hostName, const std::string& address);

protected:
    HostsEntries entries;
    std::string repairedContent;
};

// The hosts file under systemDirectory, or empty when there is no directory or the joined path
// would not fit a 260-byte path buffer with its terminator.
std::string HostsFilePath(const std::string& systemDirectory);

// The Windows implementation. Never returns null.
std::unique_ptr<HostsChecker> CreateHostsChecker();
