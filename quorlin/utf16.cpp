#include "utf16.h"

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

void appendUtf8(std::string& out, Utf16View text) {
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        // paths are mostly ASCII: copy runs of it without decoding
        std::size_t run = i;
        while (run < size && static_cast<char32_t>(text[run]) < 0x80) ++run;
        if (run > i) {
            const std::size_t start = out.size();
            out.resize(start + (run - i));
            for (std::size_t k = i; k < run; ++k) out[start + (k - i)] = static_cast<char>(text[k]);
            i = run;
            continue;
        }
        const char32_t unit = static_cast<char32_t>(text[i]);
        if (isHighSurrogate(unit) && i + 1 < size &&
            isLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            const char32_t low = static_cast<char32_t>(text[i + 1]);
            appendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            i += 2;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendCodePoint(out, kReplacementCharacter);
            ++i;
        } else {
            appendCodePoint(out, unit);
            ++i;
        }
    }
}

std::string toUtf8(Utf16View text) {
    std::string out;
    out.reserve(text.size());
    appendUtf8(out, text);
    return out;
}
