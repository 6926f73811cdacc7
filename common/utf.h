#pragma once
// UTF-16 and UTF-8 for the tool and the dialog library. The conversions differ only in what they do
// with text that is not well-formed (a lone surrogate, an invalid byte sequence), and each policy
// has one name here:
//   strict    - refuse the whole text: paths and registry text, so that nothing reaches a file name
//               or the registry changed;
//   lossless  - keep a lone surrogate as its own three bytes (WTF-8): command-line arguments, so
//               that a path is never replaced by another;
//   replacing - a lone surrogate becomes U+FFFD, as WideCharToMultiByte(CP_UTF8, 0) does: the
//               dialogs' results handed to the host.
// A zero unit or byte is text like any other under every policy.

#include <optional>
#include <string>
#include <string_view>

// UTF-16 text: the platform's wide strings on Windows, char16_t elsewhere, so the portable logic
// takes the platform's buffers without copying or casting.
#if defined(_WIN32)
using Utf16Unit = wchar_t;
#else
using Utf16Unit = char16_t;
#endif
static_assert(sizeof(Utf16Unit) == 2, "wide strings must be UTF-16 code units");

using Utf16String = std::basic_string<Utf16Unit>;
using Utf16View = std::basic_string_view<Utf16Unit>;

// Strict: none for a lone surrogate.
std::optional<std::string> Utf8FromUtf16Strict(Utf16View text);
// Strict: none for any byte sequence that is not UTF-8 (overlong forms, encoded surrogates, beyond
// U+10FFFF, cut short).
std::optional<Utf16String> Utf16FromUtf8Strict(std::string_view text);

// Lossless: every text converts.
std::string Utf8FromUtf16Lossless(Utf16View text);

// Replacing: every text converts. The dialog library's own name for its conversion, the one name
// here in another style.
std::string toUtf8(Utf16View text);
// Appends what toUtf8 gives to out.
void AppendUtf8FromUtf16Replacing(std::string& out, Utf16View text);

// Whether a and b are the same bytes, ASCII letters compared without their case (no locale's
// rules: the registry's and the settings' own names are ASCII).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
