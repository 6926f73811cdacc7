#include "hosts_checker.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "line_scan.h"

namespace {

constexpr char kHostsSuffix[] = "\\drivers\\etc\\hosts.ics";
// the system's path buffer, terminator included
constexpr std::size_t kPathBufferSize = 260;
constexpr std::size_t kCanonicalWidth = 21;
constexpr std::size_t kMinimumGap = 5;
constexpr char kCommentMark = '#';
constexpr char kDuplicatePrefix[] = "# ";

using HostsSeen = std::map<std::string, bool>;

// The C locale's whitespace; bytes 0x80 and above never are.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

// The next run of non-whitespace bytes of rest, which is advanced past it; empty when none is left.
std::string_view NextToken(std::string_view& rest) {
    std::size_t start = 0;
    while (start < rest.size() && IsSpace(rest[start])) {
        ++start;
    }
    std::size_t end = start;
    while (end < rest.size() && !IsSpace(rest[end])) {
        ++end;
    }
    const std::string_view token = rest.substr(start, end - start);
    rest.remove_prefix(end);
    return token;
}

// Whether a file starting with these bytes is a UTF-16 text (a byte-order mark in either order).
bool StartsWithUtf16Mark(std::string_view start) {
    return start.size() >= 2 && ((start[0] == '\xFF' && start[1] == '\xFE') ||
                                 (start[0] == '\xFE' && start[1] == '\xFF'));
}

// Gives what read gives until the bytes turn out to start with a UTF-16 mark; from then on 0, with
// utf16 set.
ByteReader StopAtUtf16Mark(const ByteReader& read, bool& utf16) {
    return [&read, &utf16, start = std::string()](char* buffer, std::size_t size) mutable {
        const std::size_t got = utf16 ? 0 : read(buffer, size);
        if (start.size() < 2) {
            start.append(buffer, std::min(got, 2 - start.size()));
            utf16 = StartsWithUtf16Mark(start);
        }
        return utf16 ? 0 : got;
    };
}

std::string CanonicalLine(const std::string& hostName, const std::string& address) {
    std::string line = address;
    line.append(kMinimumGap, ' ');
    if (line.size() < kCanonicalWidth) {
        line.append(kCanonicalWidth - line.size(), ' ');
    }
    line += hostName;
    return line;
}

bool FixLine(std::string& line, const HostsEntries& entries, HostsSeen& seen) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == kCommentMark) {
        return false;
    }
    std::string_view rest = trimmed;
    const std::string_view address = NextToken(rest);
    const std::string_view hostName = NextToken(rest);
    if (hostName.empty()) {
        return false;
    }
    const auto configured = entries.find(std::string(hostName));
    if (configured == entries.end()) {
        return false;
    }
    const bool hasExtra = !NextToken(rest).empty();
    bool& found = seen[configured->first];
    if (found) {
        // an earlier live line already carries this name
        line = kDuplicatePrefix + std::string(trimmed);
        return true;
    }
    found = true;
    const bool wrong = address != configured->second || hasExtra;
    // a right entry with other spacing is normalised without counting as a change
    line = CanonicalLine(configured->first, configured->second);
    return wrong;
}

}  // namespace

HostsRewrite RewriteHosts(std::string_view fileBytes, const HostsEntries& entries) {
    return RewriteHosts(
        [&fileBytes](char* buffer, std::size_t size) {
            const std::size_t piece = std::min(size, fileBytes.size());
            fileBytes.copy(buffer, piece);
            fileBytes.remove_prefix(piece);
            return piece;
        },
        fileBytes.size(), entries);
}

HostsRewrite RewriteHosts(const std::function<std::size_t(char* buffer, std::size_t size)>& read,
                          std::size_t fileSize, const HostsEntries& entries) {
    // a file with a UTF-16 mark or a NUL anywhere is not byte text: reading stops there
    bool utf16 = false;
    bool hasNul = false;
    const ByteReader unmarked = StopAtUtf16Mark(read, utf16);
    const ByteReader readByteText = [&](char* buffer, std::size_t size) -> std::size_t {
        const std::size_t got = hasNul ? 0 : unmarked(buffer, size);
        hasNul = hasNul || FindByte(buffer, buffer + got, '\0') != buffer + got;
        return hasNul ? 0 : got;
    };

    HostsSeen seen;
    std::vector<std::string_view> names;
    for (const auto& entry : entries) {
        seen.emplace_hint(seen.end(), entry.first, false);
        names.push_back(entry.first);
    }
    HostsRewrite rewrite;
    // CR LF lines shrink to LF lines, so the file's size is room enough but for fixed lines
    rewrite.text.reserve(fileSize + 1);
    bool changed = false;
    // only a line that holds a configured name can carry it as its host name
    CopyLines(
        readByteText, names,
        [&](std::string& line) {
            if (FixLine(line, entries, seen)) {
                changed = true;
            }
        },
        rewrite.text);
    if (utf16 || hasNul) {
        return {CheckInternalError, std::string()};
    }

    // seen and entries hold the same names in the same order
    auto entry = entries.begin();
    for (const auto& [name, found] : seen) {
        if (!found) {
            rewrite.text += CanonicalLine(name, entry->second);
            rewrite.text += '\n';
            changed = true;
        }
        ++entry;
    }
    rewrite.check = changed ? CheckWrong : CheckCorrect;
    return rewrite;
}

UnchangedRead ReadOnlyAppended(const ByteReader& read, const HostsEntries& entries,
                               const ByteWriter& copy) {
    std::vector<std::string_view> names;
    for (const auto& entry : entries) {
        names.push_back(entry.first);
    }
    // a UTF-16 mark ends the reading, as the file is not byte text (ReadUnchanged sees a NUL)
    bool utf16 = false;
    UnchangedRead result = ReadUnchanged(StopAtUtf16Mark(read, utf16), names, copy);
    result.unchanged = result.unchanged && !utf16;
    return result;
}

std::string AppendedLines(const HostsEntries& entries) {
    std::string text;
    for (const auto& [name, address] : entries) {
        text += CanonicalLine(name, address);
        text += '\n';
    }
    // as the rewrite's text is written, a line feed within a name or an address included
    std::string lines;
    WriteWithCrLf(text, [&lines](const char* data, std::size_t size) {
        lines.append(data, size);
        return true;
    });
    return lines;
}

std::string HostsFilePath(const std::string& systemDirectory) {
    // the directory as the system's zero-terminated buffer would hold it
    const std::string directory(systemDirectory.c_str());
    if (directory.empty() || directory.size() + sizeof(kHostsSuffix) > kPathBufferSize) {
        return std::string();
    }
    return directory + kHostsSuffix;
}

LoadCode HostsChecker::LoadConfig(const pugi::xml_node& hostsElement) {
    entries.clear();
    if (!hostsElement) {
        return HostsConfigMissing;
    }
    for (const pugi::xml_node& child : hostsElement.children()) {
        const pugi::xml_attribute domain = child.attribute("domain");
        if (!domain || *domain.value() == '\0') {
            continue;
        }
        const pugi::xml_attribute ip = child.attribute("ip");
        if (!ip || *ip.value() == '\0') {
            continue;
        }
        // the first child that names a host wins
        entries.emplace(domain.value(), ip.value());
    }
    return ConfigLoaded;
}

HostsChecker::HostsChecker(std::unique_ptr<HostsFile> hostsFile, RepairLog* repairLog)
    : file(std::move(hostsFile)), log(repairLog) {}

HostsChecker::~HostsChecker() = default;

CheckCode HostsChecker::Check() {
    return file ? CheckHostsFile(*file, entries, plan) : CheckInternalError;
}

RepairResult HostsChecker::Repair() {
    if (!file || !log) {
        return RepairResult{HostsRepairFailed, "prepare text", 0};
    }
    const RepairResult result = RepairHostsFile(*file, entries, plan, *log);
    plan.copy = false;  // the file was read to its end: a second repair has nothing to copy
    return result;
}

const std::string& HostsChecker::GetHostsFilePath() const {
    static const std::string unknown;
    return file ? file->Path() : unknown;
}

std::string HostsChecker::MakeHostsLine(const std::string& hostName,
                                        const std::string& address) const {
    return CanonicalLine(hostName, address);
}

CheckCode CheckHostsFile(HostsFile& file, const HostsEntries& entries, HostsPlan& plan) {
    plan = HostsPlan();
    file.CloseSource();
    if (entries.empty()) {
        return CheckCorrect;
    }
    switch (file.OpenSource()) {
        case HostsFile::Unreadable:
            return CheckInternalError;
        case HostsFile::Absent: {
            HostsRewrite rewrite = RewriteHosts(std::string_view(), entries);
            plan.text = std::move(rewrite.text);
            return rewrite.check;
        }
        case HostsFile::Open:
            break;
    }
    unsigned long error = 0;
    // The common repair, a file that lacks the entry, only appends to it: the file is then copied
    // when repaired, never held whole.
    const UnchangedRead scan = ReadOnlyAppended(file.ReadSource(error), entries);
    if (error == 0 && scan.unchanged) {
        plan.copy = true;
        return CheckWrong;  // there are entries, and none is in the file
    }
    // read piece by piece: the file is never held whole besides its text; a read that failed
    // part-way would lose the rest of the file
    HostsRewrite rewrite = error == 0
                               ? RewriteHosts(file.ReadSource(error), file.SourceSize(), entries)
                               : HostsRewrite();
    file.CloseSource();
    if (error != 0) {
        return CheckInternalError;
    }
    plan.text = std::move(rewrite.text);
    return rewrite.check;
}

namespace {

// The file as it is now, and the missing lines after it. Should the file have changed since the
// check so that the rules would change more than add lines, write gets the rules' text for it as
// it is now instead, once the temporary is emptied again.
bool CopyAppending(HostsFile& file, const HostsEntries& entries, const ByteWriter& write,
                   unsigned long& error) {
    const UnchangedRead copied = ReadOnlyAppended(file.ReadSource(error), entries, write);
    if (error != 0 || copied.copyFailed) {
        return false;
    }
    if (copied.unchanged) {
        const std::string lines = AppendedLines(entries);
        return write(lines.data(), lines.size());
    }
    if ((error = file.EmptyTemporary()) != 0) {
        return false;
    }
    const HostsRewrite rewrite = RewriteHosts(file.ReadSource(error), file.SourceSize(), entries);
    return error == 0 && rewrite.check != CheckInternalError && WriteWithCrLf(rewrite.text, write);
}

}  // namespace

RepairResult RepairHostsFile(HostsFile& file, const HostsEntries& entries, const HostsPlan& plan,
                             RepairLog& log) {
    const auto failed = [&file](const char* step, unsigned long error) {
        file.CloseSource();
        file.EndRepair();
        return RepairResult{HostsRepairFailed, step, error};
    };
    // a check that found the file wrong always built some text or kept the file to copy: never
    // empty the file for nothing
    if (file.Path().empty() || (plan.text.empty() && !plan.copy)) {
        return failed("prepare text", 0);
    }
    // a read-only file is not writable for us, even where the system would let a rename replace it
    const HostsFile::Place place = file.FindPlace();
    if (place.readOnly) {
        return failed("read-only file", kReadOnlyFileError);
    }
    if (place.folder) {
        return failed("folder in the file's place", kAccessDeniedError);
    }
    unsigned long error = file.CreateTemporary();
    if (error != 0) {
        return failed("create temporary file", error);
    }
    const ByteWriter write = file.WriteTemporary(error);
    const bool written =
        plan.copy ? CopyAppending(file, entries, write, error) : WriteWithCrLf(plan.text, write);
    file.CloseSource();  // read to its end: it must not hold the file against the replace
    if (!written) {
        return failed("write", error);
    }
    if ((error = file.FlushTemporary()) != 0) {
        return failed("flush", error);
    }
    if ((error = file.CarryAttributes()) != 0) {
        return failed("set attributes", error);
    }
    if (place.exists) {
        if ((error = file.AwaitReplaceable()) != 0) {
            return failed("replace", error);
        }
        // the file's other lines are carried over anyway, but a replace that leaves neither a
        // backup nor a note of its absence is not made
        if ((error = file.MakeBackup()) != 0 &&
            log.Append("hosts backup not made: " + file.Path() + ".bak (error " +
                       std::to_string(error) + ")") != 0) {
            return failed("backup", error);
        }
    }
    if ((error = file.Replace()) != 0) {
        return failed("replace", error);
    }
    file.EndRepair();
    return RepairResult();
}
