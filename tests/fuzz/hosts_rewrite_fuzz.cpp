// The hosts rewrite against the plain line-by-line reference, the file read whole and in pieces of
// a generated size, and its own promises: a line in which no configured name stands keeps its
// bytes, a file that the repair copies and appends to comes out as the rewrite would write it, and
// a second check of the repaired text, as the repair writes it, finds nothing to fix.
//
// Input: one byte for the size of the pieces, then the entries up to the first 0x1D byte (entries
// apart by 0x1E, a name and its address by 0x1F), then the file. Without 0x1D nothing is
// configured.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hosts_checker.h"
#include "hosts_reference.h"
#include "line_scan.h"

namespace {

constexpr std::size_t kMostEntries = 8;

HostsEntries ParseEntries(const std::string& header) {
    HostsEntries entries;
    std::size_t start = 0;
    while (start <= header.size() && entries.size() < kMostEntries) {
        std::size_t end = header.find('\x1E', start);
        if (end == std::string::npos) {
            end = header.size();
        }
        const std::string entry = header.substr(start, end - start);
        const std::size_t split = entry.find('\x1F');
        if (!entry.empty()) {
            entries.emplace(entry.substr(0, split),
                            split == std::string::npos ? "" : entry.substr(split + 1));
        }
        start = end + 1;
    }
    return entries;
}

// The file's lines as the rules see them: LF ends a line, with one CR before it.
std::vector<std::string> Lines(const std::string& bytes, bool dropCrBeforeLf) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const bool ended = end != std::string::npos;
        if (!ended) {
            end = bytes.size();
        }
        std::string line = bytes.substr(start, end - start);
        if (ended && dropCrBeforeLf && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// An entry whose canonical line reads back as itself: a name and an address that are single
// tokens, an address that does not start a comment or a UTF-16 mark.
bool IsPlain(const std::string& name, const std::string& address) {
    const auto plainToken = [](const std::string& token) {
        return !token.empty() &&
               token.find_first_of(std::string(" \t\n\v\f\r\0", 7)) == std::string::npos;
    };
    const auto first = static_cast<unsigned char>(address.empty() ? 0 : address[0]);
    return plainToken(name) && plainToken(address) && first != '#' && first != 0xFF &&
           first != 0xFE;
}

bool Same(const HostsRewrite& a, const HostsRewrite& b) {
    return a.check == b.check && a.text == b.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::size_t piece = 1 + data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\x1D');
    const HostsEntries entries =
        split == std::string::npos ? HostsEntries() : ParseEntries(rest.substr(0, split));
    const std::string file = split == std::string::npos ? rest : rest.substr(split + 1);

    const HostsRewrite rewrite = RewriteHosts(file, entries);
    if (!Same(rewrite, ReferenceRewrite(file, entries))) std::abort();
    if (!Same(RewriteInPieces(file, piece, entries), rewrite)) std::abort();
    std::string copied;
    if (OnlyAppendedInPieces(file, piece, entries, copied).unchanged &&
        (rewrite.check == CheckInternalError || copied != file ||
         copied + AppendedLines(entries) != WrittenWithCrLf(rewrite.text))) {
        std::abort();
    }
    if (rewrite.check == CheckInternalError) {
        if (!rewrite.text.empty()) std::abort();
        return 0;
    }

    // every line keeps its place (unless a configured address holds a line end, which makes its
    // canonical line two); one in which no configured name stands keeps its bytes
    const bool lineShaped = std::none_of(entries.begin(), entries.end(), [](const auto& entry) {
        return entry.second.find('\n') != std::string::npos;
    });
    const std::vector<std::string> before = Lines(file, true);
    const std::vector<std::string> after = Lines(rewrite.text, false);
    if (after.size() < before.size()) std::abort();
    for (std::size_t i = 0; lineShaped && i < before.size(); ++i) {
        const bool holdsName = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
            return !entry.first.empty() && before[i].find(entry.first) != std::string::npos;
        });
        if (!holdsName && after[i] != before[i]) std::abort();
    }

    // the repaired file, read again, is right as it stands
    const bool plain = std::all_of(entries.begin(), entries.end(), [](const auto& entry) {
        return IsPlain(entry.first, entry.second);
    });
    if (plain) {
        const std::string written = WrittenWithCrLf(rewrite.text);
        const HostsRewrite again = RewriteHosts(written, entries);
        if (again.check != CheckCorrect || again.text != rewrite.text) std::abort();
    }
    return 0;
}
