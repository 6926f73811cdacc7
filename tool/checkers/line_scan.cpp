#include "line_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Bytes are read in pieces of this size at least (a longer line grows the buffer), and each piece
// is scanned for the names and then copied while it is still in the cache.
constexpr std::size_t kPieceSize = 64 * 1024;
constexpr std::size_t kWriteBufferSize = 256 * 1024;

// Whether any of the eight bytes of word equals byte.
bool HasByte(std::uint64_t word, char byte) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    const std::uint64_t diff = word ^ (kOnes * static_cast<unsigned char>(byte));
    return ((diff - kOnes) & ~diff & kHighBits) != 0;
}

// Finds where the names stand. Each name is looked for by its byte that is rarest in the first
// region it sees, eight bytes at a time.
class NameFinder {
public:
    explicit NameFinder(const std::vector<std::string_view>& wanted) {
        for (const std::string_view name : wanted) {
            if (!name.empty()) {
                names.push_back({name, 0});
            }
        }
    }

    bool Empty() const { return names.empty(); }

    // The places in [begin, end) where a name starts, ascending.
    void Find(const char* begin, const char* end, std::vector<const char*>& found) {
        if (!rareChosen) {
            ChooseRareBytes(begin, end);
        }
        found.clear();
        for (const Name& name : names) {
            const std::string_view text = name.text;
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
        std::string_view text;
        std::size_t rare;
    };

    void ChooseRareBytes(const char* begin, const char* end) {
        std::size_t counts[256] = {};
        for (const char* p = begin; p < end; ++p) {
            ++counts[static_cast<unsigned char>(*p)];
        }
        for (Name& name : names) {
            for (std::size_t i = 1; i < name.text.size(); ++i) {
                if (counts[static_cast<unsigned char>(name.text[i])] <
                    counts[static_cast<unsigned char>(name.text[name.rare])]) {
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
// nearly the whole text passes through here.
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

}  // namespace

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

namespace {

// Copies the lines of [begin, end), whole lines but for the last line of the text, as CopyLines
// describes.
void CopyRegion(const char* begin, const char* end, NameFinder& finder,
                const std::function<void(std::string& line)>& fixLine, std::string& output) {
    std::vector<const char*> found;
    if (!finder.Empty()) {
        finder.Find(begin, end, found);
    }
    // every line from start on is still to be written
    const char* start = begin;
    std::string line;
    for (const char* name : found) {
        if (name < start) {
            continue;  // on a line already written
        }
        const char* lineStart = name;
        while (lineStart > start && lineStart[-1] != '\n') {
            --lineStart;
        }
        AppendDroppingCrBeforeLf(output, start, lineStart);
        const char* const stop = FindByte(name, end, '\n');
        const char* lineEnd = stop;
        if (stop != end && lineEnd > lineStart && lineEnd[-1] == '\r') {
            --lineEnd;
        }
        line.assign(lineStart, lineEnd);
        fixLine(line);
        output += line;
        output += '\n';
        start = stop == end ? end : stop + 1;
    }
    AppendDroppingCrBeforeLf(output, start, end);
    if (start < end && end[-1] != '\n') {
        output += '\n';  // a last line without a line end is still a line
    }
}

}  // namespace

void CopyLines(const ByteReader& read, const std::vector<std::string_view>& names,
               const std::function<void(std::string& line)>& fixLine, std::string& output) {
    NameFinder finder(names);
    std::vector<char> buffer(kPieceSize);
    // the part of a line begun in an earlier piece, at the buffer's start
    std::size_t carried = 0;
    for (;;) {
        if (carried == buffer.size()) {
            buffer.resize(buffer.size() * 2);  // one line longer than the buffer
        }
        char* const fresh = buffer.data() + carried;
        const std::size_t size = read(fresh, buffer.size() - carried);
        if (size == 0) {
            break;
        }
        const char* const begin = buffer.data();
        const char* const end = fresh + size;
        const char* wholeLinesEnd = end;
        while (wholeLinesEnd > begin && wholeLinesEnd[-1] != '\n') {
            --wholeLinesEnd;
        }
        if (wholeLinesEnd != begin) {
            CopyRegion(begin, wholeLinesEnd, finder, fixLine, output);
        }
        carried = static_cast<std::size_t>(end - wholeLinesEnd);
        std::memmove(buffer.data(), wholeLinesEnd, carried);
    }
    if (carried > 0) {
        CopyRegion(buffer.data(), buffer.data() + carried, finder, fixLine, output);
    }
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
