// toUtf8 against glibc's iconv as an independent decoder: the bytes must be
// well-formed UTF-8 that decodes to the input's code points, each lone surrogate standing as
// U+FFFD. The strict conversions agree with it too: from UTF-16 they refuse exactly the texts with
// a lone surrogate, and from UTF-8 they accept exactly the bytes iconv accepts.

#include <iconv.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "utf.h"

namespace {

// The code points a UTF-16 reader sees: pairs joined, lone surrogates replaced (and counted).
std::u32string codePoints(const Utf16String& text, int* loneSurrogates = nullptr) {
    std::u32string points;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            points.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            points.push_back(0xFFFD);
            if (loneSurrogates != nullptr) ++*loneSurrogates;
        } else {
            points.push_back(unit);
        }
    }
    return points;
}

// glibc's strict decoder; it refuses overlong forms, surrogates and truncated sequences.
std::optional<std::u32string> decodeWithIconv(const std::string& utf8) {
    static const iconv_t decoder = iconv_open("UTF-32LE", "UTF-8");
    if (decoder == reinterpret_cast<iconv_t>(-1)) std::abort();
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> out(utf8.size() * 4 + 4);
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    if (iconv(decoder, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
        return std::nullopt;  // not well-formed UTF-8
    }
    std::u32string points;
    for (const char* p = out.data(); p < outPtr; p += 4) {
        const auto* b = reinterpret_cast<const unsigned char*>(p);
        points.push_back(static_cast<char32_t>(b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24));
    }
    return points;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Utf16String text;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<Utf16Unit>(data[i] | data[i + 1] << 8));
    }
    const std::string utf8 = toUtf8(text);
    int loneSurrogates = 0;
    if (decodeWithIconv(utf8) != codePoints(text, &loneSurrogates)) std::abort();
    const std::optional<std::string> strict = Utf8FromUtf16Strict(text);
    if (loneSurrogates > 0 ? strict.has_value() : strict != utf8) std::abort();
    if (strict && Utf16FromUtf8Strict(*strict) != text) std::abort();
    if (loneSurrogates == 0 && Utf8FromUtf16Lossless(text) != utf8) std::abort();

    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<Utf16String> decoded = Utf16FromUtf8Strict(bytes);
    const std::optional<std::u32string> reference = decodeWithIconv(bytes);
    if (decoded.has_value() != reference.has_value()) std::abort();
    if (decoded && codePoints(*decoded) != *reference) std::abort();
    // appending to text already there changes nothing of the conversion
    std::string appended = "x";
    AppendUtf8FromUtf16Replacing(appended, text);
    if (appended != "x" + utf8) std::abort();
    return 0;
}
