#pragma once

#include <windows.h>

#include <climits>
#include <optional>
#include <string>

// Texts inside the tool are UTF-8; the wide Windows calls take UTF-16. Both conversions refuse a
// text that would not come through whole (an invalid byte sequence, an unpaired surrogate), so
// nothing reaches a file name or the registry changed.

inline std::optional<std::wstring> Utf16FromUtf8(const std::string& text) {
    if (text.empty()) {
        return std::wstring();
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    const int size = static_cast<int>(text.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], length) !=
        length) {
        return std::nullopt;
    }
    return wide;
}

inline std::optional<std::string> Utf8FromUtf16(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX / 4)) {
        return std::nullopt;
    }
    const int size = static_cast<int>(text.size());
    const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size,
                                           nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return std::nullopt;
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, &narrow[0], length,
                            nullptr, nullptr) != length) {
        return std::nullopt;
    }
    return narrow;
}
