#include "utf.h"

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

enum class LoneSurrogate { Refuse, Keep, Replace };

void AppendCodePoint(std::string& out, char32_t cp) {
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

// False, with out partly written, when a lone surrogate is refused.
bool Encode(std::string& out, Utf16View text, LoneSurrogate policy) {
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
        if (IsHighSurrogate(unit) && i + 1 < size &&
            IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            const char32_t low = static_cast<char32_t>(text[i + 1]);
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            i += 2;
            continue;
        }
        if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            if (policy == LoneSurrogate::Refuse) return false;
            AppendCodePoint(out, policy == LoneSurrogate::Keep ? unit : kReplacementCharacter);
        } else {
            AppendCodePoint(out, unit);
        }
        ++i;
    }
    return true;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::optional<std::string> Utf8FromUtf16Strict(Utf16View text) {
    std::string out;
    out.reserve(text.size());
    if (!Encode(out, text, LoneSurrogate::Refuse)) return std::nullopt;
    return out;
}

std::string Utf8FromUtf16Lossless(Utf16View text) {
    std::string out;
    out.reserve(text.size());
    Encode(out, text, LoneSurrogate::Keep);
    return out;
}

void AppendUtf8FromUtf16Replacing(std::string& out, Utf16View text) {
    Encode(out, text, LoneSurrogate::Replace);
}

std::string toUtf8(Utf16View text) {
    std::string out;
    out.reserve(text.size());
    AppendUtf8FromUtf16Replacing(out, text);
    return out;
}

std::optional<Utf16String> Utf16FromUtf8Strict(std::string_view text) {
    Utf16String out;
    out.reserve(text.size());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<Utf16Unit>(lead));
            ++i;
            continue;
        }
        // the sequence's length and the range its second byte must lie in (RFC 3629's table), so
        // that no overlong form, encoded surrogate or code point beyond U+10FFFF passes
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return std::nullopt;
        }
        if (size - i < length) return std::nullopt;
        const auto second = static_cast<unsigned char>(text[i + 1]);
        if (second < low || second > high) return std::nullopt;
        char32_t cp = lead & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(text[i + k]);
            if (!IsContinuation(byte)) return std::nullopt;
            cp = (cp << 6) | (byte & 0x3F);
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<Utf16Unit>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<Utf16Unit>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<Utf16Unit>(cp));
        }
        i += length;
    }
    return out;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}
