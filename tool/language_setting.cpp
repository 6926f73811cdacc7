#include "language_setting.h"

#include "platform.h"
#include "utf.h"

namespace {

// The settings file name must fit this buffer with its terminator, counted in UTF-16 units as the
// wide profile call takes it.
constexpr std::size_t kSettingsPathBufferSize = 256;

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
    const std::optional<Utf16String> wide = Utf16FromUtf8Strict(settingsFile);
    if (!wide || wide->size() >= kSettingsPathBufferSize) {
        return "en";
    }
    return LanguageFromSetting(
        ReadProfileString(settingsFile, "setting", "language", kLongestSettingsFile));
}
