#include "language_setting.h"

#include "platform.h"
#include "utf.h"

namespace {

// The settings file name must fit this buffer with its terminator, counted in UTF-16 units as the
// wide profile call takes it.
constexpr std::string::size_type kSettingsPathBufferSize = 256;

// UTF-16 units of UTF-8 text: one per sequence, two for those of four bytes.
std::string::size_type Utf16Length(const std::string& utf8) {
    std::string::size_type length = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            length += byte >= 0xF0 ? 2 : 1;
        }
    }
    return length;
}

}  // namespace

std::string LanguageFromSetting(const std::string& value) {
    return EqualsIgnoringAsciiCase(value, "Simpchinese") ? "cs" : "en";
}

std::string ReadLanguageSetting(const std::optional<std::string>& directory) {
    if (!directory) {
        return "en";
    }
    const std::string settingsFile = *directory + "Lang_config.cfg";
    // a longer name would not fit the profile call's buffer: the file is then not read
    if (Utf16Length(settingsFile) >= kSettingsPathBufferSize) {
        return "en";
    }
    return LanguageFromSetting(
        ReadProfileString(settingsFile, "setting", "language", kLongestSettingsFile));
}
