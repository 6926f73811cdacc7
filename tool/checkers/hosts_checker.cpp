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

// The first byte of [from, to) equal to byte, or to when there is none. Eight bytes at a time, as
// every byte of the file passes through here.
const char* FindByte(const char* from, const char* to, char byte) {
    while (to - from >= 8) {
        std::uint64_t word;
        std::memcpy(&word, from, sizeof(word));
        if (HasByte(word, byte)) {
            break;
        }
        from += 8;
    }
    while (from < to && *from != byte) {
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

// Reads the file in chunks and hands on regions of whole lines: every region but the last ends
// with a line feed, and the last one is what follows the last line feed. False when a read fails
// or the bytes are not byte text (UTF-16, or any NUL), so that no line is lost unseen.
template <typename OnRegion>
bool ReadLineRegions(std::FILE* file, OnRegion onRegion) {
    std::vector<char> buffer(kChunkSize);
    // the part of a line begun in an earlier chunk, at the buffer's start
    std::size_t carried = 0;
    bool first = true;
    for (;;) {
        if (carried == buffer.size()) {
            buffer.resize(buffer.size() * 2);  // one line longer than the buffer
        }
        char* const fresh = buffer.data() + carried;
        const std::size_t size = std::fread(fresh, 1, buffer.size() - carried, file);
        if (size == 0) {
            break;
        }
        const char* const begin = buffer.data();
        const char* const end = fresh + size;
        if (FindByte(fresh, end, '\0') != end ||
            (first && StartsWithUtf16Mark(begin, static_cast<std::size_t>(end - begin)))) {
            return false;
        }
        first = false;
        const char* wholeLinesEnd = end;
        while (wholeLinesEnd > begin && wholeLinesEnd[-1] != '\n') {
            --wholeLinesEnd;
        }
        if (wholeLinesEnd != begin) {
            onRegion(begin, wholeLinesEnd);
        }
        carried = static_cast<std::size_t>(end - wholeLinesEnd);
        std::memmove(buffer.data(), wholeLinesEnd, carried);
    }
    if (std::ferror(file) != 0) {
        return false;
    }
    if (carried > 0) {
        onRegion(buffer.data(), buffer.data() + carried);
    }
    return true;
}

// Finds where the bytes of the configured names stand. A line holding none of them cannot carry
// a configured host name, so the line check could only leave it as it is. Each name is looked for
// by its byte that is rarest in the start of the file, eight bytes at a time.
class NameSearch {
public:
    explicit NameSearch(const std::map<std::string, std::string>& entries) {
        for (const auto& entry : entries) {
            names.push_back({&entry.first, 0});
        }
    }

    // The places in [begin, end) where a name starts, ascending.
    void Find(const char* begin, const char* end, std::vector<const char*>& found) {
        if (!rareChosen) {
            ChooseRareBytes(begin, end);
        }
        found.clear();
        for (const Name& name : names) {
            const std::string& text = *name.text;
            if (static_cast<std::size_t>(end - begin) < text.size()) {
                continue;
            }
            const char* const lastStart = end - text.size();
            const char rareByte = text[name.rare];
            for (const char* p = FindByte(begin + name.rare, end, rareByte); p < end;
                 p = FindByte(p + 1, end, rareByte)) {
                const char* const start = p - name.rare;
                if (start > lastStart) {
                    break;
                }
                if (std::memcmp(start, text.data(), text.size()) == 0) {
                    found.push_back(start);
                }
            }
        }
        if (names.size() > 1) {
            std::sort(found.begin(), found.end());
        }
    }

private:
    struct Name {
        const std::string* text;
        std::size_t rare;
    };

    void ChooseRareBytes(const char* begin, const char* end) {
        std::size_t counts[256] = {};
        for (const char* p = begin; p < end; ++p) {
            ++counts[static_cast<unsigned char>(*p)];
        }
        for (Name& name : names) {
            const std::string& text = *name.text;
            for (std::size_t i = 1; i < text.size(); ++i) {
                if (counts[static_cast<unsigned char>(text[i])] <
                    counts[static_cast<unsigned char>(text[name.rare])]) {
                    name.rare = i;
                }
            }
        }
        rareChosen = true;
    }

    std::vector<Name> names;
    bool rareChosen = false;
};

// Appends whole lines, each CR that stands right before an LF left out. Eight bytes at a time, as
// nearly the whole file passes through here.
void AppendDroppingCrBeforeLf(std::string& output, const char* from, const char* to) {
    if (from == to) {
        return;
    }
    const std::size_t used = output.size();
    output.resize(used + static_cast<std::size_t>(to - from));
    char* out = &output[used];
    while (to - from >= 8) {
        std::uint64_t word;
        std::memcpy(&word, from, sizeof(word));
        if (!HasByte(word, '\r')) {
            std::memcpy(out, &word, sizeof(word));
            out += sizeof(word);
            from += sizeof(word);
            continue;
        }
        if (!(*from == '\r' && from[1] == '\n')) {
            *out++ = *from;
        }
        ++from;
    }
    for (; from < to; ++from) {
        if (!(*from == '\r' && from + 1 < to && from[1] == '\n')) {
            *out++ = *from;
        }
    }
    output.resize(static_cast<std::size_t>(out - output.data()));
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
        NameSearch search(entries);
        std::vector<const char*> found;
        std::string line;
        const bool whole = ReadLineRegions(file.get(), [&](const char* begin, const char* end) {
            search.Find(begin, end, found);
            const char* start = begin;
            for (const char* name : found) {
                if (name < start) {
                    continue;  // on a line already done
                }
                const char* lineStart = name;
                while (lineStart > start && lineStart[-1] != '\n') {
                    --lineStart;
                }
                AppendDroppingCrBeforeLf(output, start, lineStart);
                // CR LF and a lone LF end a line; a lone CR stays in it
                const char* const stop = FindByte(name, end, '\n');
                const char* lineEnd = stop;
                if (stop != end && lineEnd > lineStart && lineEnd[-1] == '\r') {
                    --lineEnd;
                }
                line.assign(lineStart, lineEnd);
                if (FixHostsLine(line, entries, seen)) {
                    changed = true;
                }
                output += line;
                output += '\n';
                start = stop == end ? end : stop + 1;
            }
            AppendDroppingCrBeforeLf(output, start, end);
            if (start < end && end[-1] != '\n') {
                output += '\n';  // a last line without a line end is still a line
            }
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
