#pragma once
// The hosts rules written the plain way, one line at a time, for comparing with RewriteHosts: it
// shares nothing with the checker but the declarations of HostsEntries and HostsRewrite.

#include <algorithm>
#include <cstddef>
#include <map>
#include <sstream>
#include <string>

#include "hosts_checker.h"

inline std::string ReferenceCanonicalLine(const std::string& name, const std::string& address) {
    std::string line = address + "     ";
    while (line.size() < 21) {
        line += ' ';
    }
    return line + name;
}

inline HostsRewrite ReferenceRewrite(const std::string& bytes, const HostsEntries& entries) {
    const bool utf16Mark = bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
    if (utf16Mark || bytes.find('\0') != std::string::npos) {
        return {CheckInternalError, ""};
    }
    const char* const whitespace = " \t\n\v\f\r";
    std::map<std::string, bool> seen;
    for (const auto& entry : entries) {
        seen[entry.first] = false;
    }
    bool changed = false;
    std::string output;
    std::istringstream file(bytes);
    std::string line;
    while (std::getline(file, line)) {
        // getline ended at a line feed unless it hit the end: CR LF is one line end
        if (!file.eof() && !line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::size_t first = line.find_first_not_of(whitespace);
        const std::string trimmed =
            first == std::string::npos
                ? ""
                : line.substr(first, line.find_last_not_of(whitespace) - first + 1);
        if (!trimmed.empty() && trimmed[0] != '#') {
            // the classic locale splits at the same whitespace
            std::istringstream tokens(trimmed);
            std::string address, name, extra;
            tokens >> address >> name >> extra;
            const auto entry = entries.find(name);
            if (!name.empty() && entry != entries.end()) {
                if (seen[name]) {
                    line = "# " + trimmed;
                    changed = true;
                } else {
                    seen[name] = true;
                    if (address != entry->second || !extra.empty()) {
                        changed = true;
                    }
                    line = ReferenceCanonicalLine(name, entry->second);
                }
            }
        }
        output += line + "\n";
    }
    for (const auto& [name, found] : seen) {
        if (!found) {
            output += ReferenceCanonicalLine(name, entries.at(name)) + "\n";
            changed = true;
        }
    }
    return {changed ? CheckWrong : CheckCorrect, output};
}

// Hands the bytes over in pieces of at most piece bytes, as a read of the file would hand them.
inline ByteReader ReaderInPieces(const std::string& bytes, std::size_t piece) {
    return [&bytes, piece, offset = std::size_t{0}](char* buffer, std::size_t size) mutable {
        const std::size_t got = std::min({size, piece, bytes.size() - offset});
        bytes.copy(buffer, got, offset);
        offset += got;
        return got;
    };
}

// The fast rewrite with the file's bytes handed over in pieces.
inline HostsRewrite RewriteInPieces(const std::string& bytes, std::size_t piece,
                                    const HostsEntries& entries) {
    return RewriteHosts(ReaderInPieces(bytes, piece), 0, entries);
}

// What ReadOnlyAppended answers over the bytes in pieces; copied receives what it copied.
inline UnchangedRead OnlyAppendedInPieces(const std::string& bytes, std::size_t piece,
                                          const HostsEntries& entries, std::string& copied) {
    copied.clear();
    return ReadOnlyAppended(ReaderInPieces(bytes, piece), entries,
                            [&copied](const char* data, std::size_t size) {
                                copied.append(data, size);
                                return true;
                            });
}

// The bytes WriteWithCrLf makes of text.
inline std::string WrittenWithCrLf(const std::string& text) {
    std::string written;
    WriteWithCrLf(text, [&written](const char* data, std::size_t size) {
        written.append(data, size);
        return true;
    });
    return written;
}
