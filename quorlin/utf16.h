#pragma once
// UTF-16 text as the dialogs report it: the platform's wide strings on Windows, char16_t elsewhere,
// so the portable logic takes the platform's buffers without copying or casting.

#include <string>
#include <string_view>

#if defined(_WIN32)
using Utf16Unit = wchar_t;
#else
using Utf16Unit = char16_t;
#endif
static_assert(sizeof(Utf16Unit) == 2, "wide strings must be UTF-16 code units");

using Utf16String = std::basic_string<Utf16Unit>;
using Utf16View = std::basic_string_view<Utf16Unit>;

// The UTF-8 form of a UTF-16 text, as WideCharToMultiByte(CP_UTF8, 0) makes it: a lone surrogate
// becomes U+FFFD, a zero unit stays a zero byte, nothing is dropped.
std::string toUtf8(Utf16View text);

// Appends the UTF-8 form of text to out (same rules as toUtf8).
void appendUtf8(std::string& out, Utf16View text);
