#pragma once
// Test texts as the platform's UTF-16 strings, written as u"" literals in every build.

#include <string_view>

#include "utf.h"

inline Utf16String utf16(std::u16string_view text) { return Utf16String(text.begin(), text.end()); }
