#include "hosts_checker.h"

#include <cerrno>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

constexpr char kHostsSuffix[] = "\\drivers\\etc\\hosts.ics";
// the system's path buffer, terminator included
constexpr std::size_t kPathBufferSize = 260;
constexpr std::size_t kCanonicalWidth = 21;
constexpr std::size_t kMinimumGap = 5;
constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::size_t kWriteBufferSize = 256 * 1024;
// beyond this a reported size is not believed (a directory reports the largest offset there is)
constexpr long kLargestPlausibleFile = 1L << 30;
constexpr char kCommentMark = '#';
constexpr char kDuplicatePrefix[] = "# ";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// The C locale's whitespace; bytes 0x80 and above never are. A table, as every byte of the file
// passes through here.
struct WhitespaceTable {
    bool space[256] = {};
    constexpr WhitespaceTable() {
        for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
            space[static_cast<unsigned char>(c)] = true;
        }
    }
};
constexpr WhitespaceTable kWhitespace;

bool IsSpace(char c) { return kWhitespace.space[static_cast<unsigned char>(c)]; }

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

// Whether any of the eight bytes of word equals byte.
bool HasByte(std::uint64_t word, char byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    const std::uint64_t diff = word ^ (kOnes * static_cast<unsigned char>(byte));
    return ((diff - kOnes) & ~diff & kHighBits) != 0;
}

// The first byte of [from, to) equal to first or second, or to when there is none. Eight bytes
// at a time, as every byte of the file passes through here.
const char* FindEither(const char* from, const char* to, char first, char second) {
    while (to - from >= 8) {
        std::uint64_t word;
        std::memcpy(&word, from, sizeof(word));
        if (HasByte(word, first) || HasByte(word, second)) {
            break;
        }
        from += 8;
    }
    while (from < to && *from != first && *from != second) {
        ++from;
    }
    return from;
}

// A byte-order mark of UTF-16 (either order): such a file is not byte text.
bool StartsWithUtf16Mark(const char* data, std::size_t size) {
    if (size < 2) {
        return false;
    }
    const auto first = static_cast<unsigned char>(data[0]);
    const auto second = static_cast<unsigned char>(data[1]);
    return (first == 0xFF && second == 0xFE) || (first == 0xFE && second == 0xFF);
}

// Measures the open file for sizing the output (0 when the stream cannot tell plausibly) and
// goes back to its start; false when it cannot go back, as the bytes would then be skipped.
bool MeasureFile(std::FILE* file, std::size_t& size) {
    size = 0;
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return true;
    }
    const long end = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    if (end > 0 && end <= kLargestPlausibleFile) {
        size = static_cast<std::size_t>(end);
    }
    return true;
}

// Splits the file's bytes into lines and hands each to onLine. CR LF and a lone LF end a line, a
// lone CR stays in it, and an empty remainder after the last line end is no line. False when a
// read fails or the bytes are not byte text (UTF-16, or any NUL), so that no line is lost unseen.
template <typename OnLine>
bool ReadLines(std::FILE* file, OnLine onLine) {
    std::vector<char> chunk(kChunkSize);
    std::string line;
    // a line begun in an earlier chunk
    std::string pending;
    bool first = true;
    for (;;) {
        const std::size_t size = std::fread(chunk.data(), 1, chunk.size(), file);
        if (size == 0) {
            break;
        }
        const char* data = chunk.data();
        const char* const end = data + size;
        if (first && StartsWithUtf16Mark(data, size)) {
            return false;
        }
        first = false;
        for (;;) {
            const char* stop = FindEither(data, end, '\n', '\0');
            if (stop == end) {
                pending.append(data, end);
                break;
            }
            if (*stop == '\0') {
                return false;
            }
            if (pending.empty()) {
                line.assign(data, stop);
            } else {
                pending.append(data, stop);
                line.swap(pending);
                pending.clear();
            }
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            onLine(line);
            data = stop + 1;
        }
    }
    if (std::ferror(file) != 0) {
        return false;
    }
    if (!pending.empty()) {
        onLine(pending);
    }
    return true;
}

using Entries = std::map<std::string, std::string>;

// The entry whose name is the token at the start of rest (compared byte for byte), with rest then
// advanced past the token. A short table is matched in place, without scanning the token or
// building a key, as this runs for every entry line of the file.
Entries::const_iterator FindHostName(const Entries& entries, std::string_view& rest) {
    constexpr std::size_t kMatchInPlaceLimit = 8;
    if (entries.size() > kMatchInPlaceLimit) {
        return entries.find(std::string(NextToken(rest)));
    }
    for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
        const std::string& name = entry->first;
        if (rest.size() >= name.size() && rest.compare(0, name.size(), name) == 0 &&
            (rest.size() == name.size() || IsSpace(rest[name.size()])) &&
            std::none_of(name.begin(), name.end(), IsSpace)) {
            // a configured name with whitespace in it is never a token of a line
            rest.remove_prefix(name.size());
            return entry;
        }
    }
    return entries.end();
}

}  // namespace

std::string HostsFilePath(const std::string& systemDirectory) {
    // the directory as the system's zero-terminated buffer would hold it
    const std::string directory(systemDirectory.c_str());
    if (directory.empty() || directory.size() + sizeof(kHostsSuffix) > kPathBufferSize) {
        return std::string();
    }
    return directory + kHostsSuffix;
}

bool WriteWithCrLf(const std::string& text,
                   const std::function<bool(const char* data, std::size_t size)>& write) {
    // every byte becomes at most two, so half a buffer of input always fits
    constexpr std::size_t kWord = sizeof(std::uint64_t);
    std::vector<char> buffer(kWriteBufferSize);
    char* const first = buffer.data();
    const char* data = text.data();
    const char* const end = data + text.size();
    while (data < end) {
        // input that surely fits the buffer once expanded
        const char* const stop = data + std::min<std::size_t>(end - data, kWriteBufferSize / 2);
        char* out = first;
        while (stop - data >= static_cast<std::ptrdiff_t>(kWord)) {
            // one pass: copy a word at a time, stopping short at each line end
            std::uint64_t word;
            std::memcpy(&word, data, kWord);
            std::memcpy(out, &word, kWord);
            if (!HasByte(word, '\n')) {
                data += kWord;
                out += kWord;
                continue;
            }
            // the word is stored already: keep what stands before its first line feed
            std::size_t kept = 0;
            while (data[kept] != '\n') {
                ++kept;
            }
            out += kept;
            *out++ = '\r';
            *out++ = '\n';
            data += kept + 1;
        }
        while (data < stop) {
            const char c = *data++;
            if (c == '\n') {
                *out++ = '\r';
            }
            *out++ = c;
        }
        if (!write(first, static_cast<std::size_t>(out - first))) {
            return false;
        }
    }
    return true;
}

int HostsChecker::LoadConfig(const pugi::xml_node& hostsElement) {
    entries.clear();
    if (!hostsElement) {
        return kHostsConfigMissing;
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
    return kHostsConfigLoaded;
}

int HostsChecker::Check() {
    repairedContent.clear();
    if (entries.empty()) {
        return kHostsCheckRight;
    }
    return BuildHostsContent();
}

std::string HostsChecker::GetHostsFilePath() { return HostsFilePath(SystemDirectory()); }

int HostsChecker::BuildHostsContent() {
    std::map<std::string, bool> seen;
    for (const auto& entry : entries) {
        seen.emplace_hint(seen.end(), entry.first, false);
    }
    std::string output;
    bool changed = false;

    const std::string path = GetHostsFilePath();
    // a missing file (or no path at all) counts as empty
    errno = 0;
    UniqueFile file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!file && !path.empty() && errno != ENOENT) {
        // it is there but cannot be read (locked, denied): rebuilt from nothing, its lines would be
        // lost
        return kHostsCheckInternalError;
    }
    if (file) {
        std::size_t size = 0;
        if (!MeasureFile(file.get(), size)) {
            return kHostsCheckInternalError;
        }
        // CR LF lines shrink to LF lines, so the file's size is room enough but for fixed lines
        output.reserve(size + 1);
        const bool whole = ReadLines(file.get(), [&](std::string& line) {
            if (FixHostsLine(line, entries, seen)) {
                changed = true;
            }
            output += line;
            output += '\n';
        });
        if (!whole) {
            return kHostsCheckInternalError;
        }
    }

    // seen and entries hold the same names in the same order
    auto entry = entries.begin();
    for (const auto& [name, found] : seen) {
        if (!found) {
            output += MakeHostsLine(name, entry->second);
            output += '\n';
            changed = true;
        }
        ++entry;
    }
    repairedContent = std::move(output);
    return changed ? kHostsCheckWrong : kHostsCheckRight;
}

bool HostsChecker::FixHostsLine(std::string& line,
                                const std::map<std::string, std::string>& entries,
                                std::map<std::string, bool>& seen) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == kCommentMark) {
        return false;
    }
    std::string_view rest = trimmed;
    const std::string_view address = NextToken(rest);
    while (!rest.empty() && IsSpace(rest.front())) {
        rest.remove_prefix(1);
    }
    if (rest.empty()) {
        // no host name
        return false;
    }
    const auto configured = FindHostName(entries, rest);
    if (configured == entries.end()) {
        return false;
    }
    // the copy ends in a non-whitespace byte, so anything left is a third token
    const bool hasExtra = !rest.empty();
    bool& found = seen[configured->first];
    if (found) {
        // an earlier live line already carries this name
        std::string disabled = kDuplicatePrefix;
        disabled += trimmed;
        line = std::move(disabled);
        return true;
    }
    found = true;
    const bool wrong = address != configured->second || hasExtra;
    // a right entry with other spacing is normalised without counting as a change
    line = MakeHostsLine(configured->first, configured->second);
    return wrong;
}

std::string HostsChecker::MakeHostsLine(const std::string& hostName, const std::string& address) {
    std::string line = address;
    line.append(kMinimumGap, ' ');
    if (line.size() < kCanonicalWidth) {
        line.append(kCanonicalWidth - line.size(), ' ');
    }
    line += hostName;
    return line;
}
