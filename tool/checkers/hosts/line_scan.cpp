#include "line_scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LINE_SCAN_SSE2 1
#endif

namespace {

// Bytes are read in pieces of this size at least (a longer line grows the buffer), and each piece
// is scanned for the names and then copied while it is still in the cache.
constexpr std::size_t kPieceSize = 64 * 1024;

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
        EachStart(begin, end, [&found](const char* start) {
            found.push_back(start);
            return true;
        });
        if (names.size() > 1) {
            std::sort(found.begin(), found.end());
        }
    }

    // Whether a name starts anywhere in [begin, end); the rare bytes are chosen from the first
    // piece, as the copy would choose them.
    bool Any(const char* begin, const char* end) {
        if (!rareChosen) {
            ChooseRareBytes(begin, begin + std::min<std::size_t>(end - begin, kPieceSize));
        }
        bool any = false;
        EachStart(begin, end, [&any](const char*) {
            any = true;
            return false;
        });
        return any;
    }

private:
    struct Name {
        std::string_view text;
        std::size_t rare;
    };

    // Hands each place where a name starts to take, name by name, until take answers false.
    template <typename Take>
    void EachStart(const char* begin, const char* end, Take take) const {
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
                if (std::memcmp(start, text.data(), text.size()) == 0 && !take(start)) {
                    return;
                }
            }
        }
    }

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

#ifdef LINE_SCAN_SSE2
namespace {

constexpr std::ptrdiff_t kVector = sizeof(__m128i);

int LowestBit(unsigned mask) {
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index = 0;
    _BitScanForward(&index, mask);
    return static_cast<int>(index);
#else
    return __builtin_ctz(mask);
#endif
}

__m128i Load(const char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

}  // namespace
#endif

const char* FindByte(const char* from, const char* to, char byte) {
#ifdef LINE_SCAN_SSE2
    // sixteen bytes at a time: the system's memchr is not always vectorised (msvcrt's is not)
    const __m128i wanted = _mm_set1_epi8(byte);
    while (to - from >= kVector) {
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(Load(from), wanted));
        if (mask != 0) {
            return from + LowestBit(static_cast<unsigned>(mask));
        }
        from += kVector;
    }
#endif
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

// Whether [from, to) holds a NUL, or an LF whose byte before is not a CR; from[-1] is that byte for
// the first, and must be readable.
bool HoldsNulOrBareLf(const char* from, const char* to) {
#ifdef LINE_SCAN_SSE2
    const __m128i nul = _mm_setzero_si128();
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (to - from >= kVector) {
        const __m128i bytes = Load(from);
        const __m128i bareLf =
            _mm_andnot_si128(_mm_cmpeq_epi8(Load(from - 1), cr), _mm_cmpeq_epi8(bytes, lf));
        if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, nul), bareLf)) != 0) {
            return true;
        }
        from += kVector;
    }
#endif
    for (; from < to; ++from) {
        if (*from == '\0' || (*from == '\n' && from[-1] != '\r')) {
            return true;
        }
    }
    return false;
}

}  // namespace

UnchangedRead ReadUnchanged(const ByteReader& read, const std::vector<std::string_view>& names,
                            const ByteWriter& copy) {
    NameFinder finder(names);
    std::size_t longest = 0;
    for (const std::string_view name : names) {
        longest = std::max(longest, name.size());
    }
    // Each piece is read to the same place, behind the last bytes of the pieces before: all but
    // one of a name begun there, and one more for the CR before an LF that starts the piece (a NUL
    // before the first piece, which is no CR).
    const std::size_t keep = std::max<std::size_t>(longest, 1);
    std::vector<char> buffer(keep + kPieceSize);
    char* const piece = buffer.data() + keep;
    std::size_t carried = 0;
    bool lastWasLf = true;  // no bytes at all are no lines, which end in anything
    for (;;) {
        const std::size_t size = read(piece, kPieceSize);
        if (size == 0) {
            return {lastWasLf, false};
        }
        const char* const end = piece + size;
        if (HoldsNulOrBareLf(piece, end) || (!finder.Empty() && finder.Any(piece - carried, end))) {
            return {};
        }
        if (copy && !copy(piece, size)) {
            return {false, true};
        }
        lastWasLf = end[-1] == '\n';
        // the piece's last bytes go in front of the next, with any carried bytes they do not cover
        const std::size_t fresh = std::min(size, keep);
        std::memmove(piece - keep, piece - keep + fresh, keep - fresh);
        std::memcpy(piece - fresh, end - fresh, fresh);
        carried = std::min(carried + size, keep);
    }
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
