#include <windows.h>

#include <cstdint>

#include "command_line.h"
#include "win_handles.h"

namespace {

void AppendUtf8(std::string& text, std::uint32_t c) {
    if (c < 0x80) {
        text += static_cast<char>(c);
    } else if (c < 0x800) {
        text += static_cast<char>(0xC0 | (c >> 6));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        text += static_cast<char>(0xE0 | (c >> 12));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (c >> 18));
        text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

std::string Utf8KeepingLoneSurrogates(const wchar_t* text) {
    std::string utf8;
    for (; *text != L'\0'; ++text) {
        std::uint32_t c = static_cast<std::uint16_t>(*text);
        const std::uint32_t next = static_cast<std::uint16_t>(text[1]);
        if (IsHighSurrogate(c) && IsLowSurrogate(next)) {
            c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
            ++text;
        }
        AppendUtf8(utf8, c);
    }
    return utf8;
}

}  // namespace

std::vector<std::string> CommandLineArguments() {
    int count = 0;
    const UniqueArgumentList list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    if (!list) {
        return arguments;
    }
    for (int i = 0; i < count; ++i) {
        arguments.push_back(Utf8KeepingLoneSurrogates(list.get()[i]));
    }
    return arguments;
}
