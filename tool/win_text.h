#pragma once

#include <optional>
#include <string>

#include "utf.h"

// Texts inside the tool are UTF-8; the wide Windows calls take UTF-16. Both conversions are the
// strict ones: they refuse a text that would not come through whole (an invalid byte sequence, an
// unpaired surrogate), so nothing reaches a file name or the registry changed.

inline std::optional<std::wstring> Utf16FromUtf8(const std::string& text) {
    return Utf16FromUtf8Strict(text);
}

inline std::optional<std::string> Utf8FromUtf16(const std::wstring& text) {
    return Utf8FromUtf16Strict(text);
}
