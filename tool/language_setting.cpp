#include "language_setting.h"

#include "client_check_tool.h"
#include "platform.h"

namespace {

// The settings file name must fit this buffer with its terminator.
constexpr std::string::size_type kSettingsPathBufferSize = 256;

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::string::size_type i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string LanguageFromSetting(const std::string& value) {
    return EqualsIgnoringAsciiCase(value, "Simpchinese") ? "cs" : "en";
}

std::string ReadLanguageSetting() {
    const std::string settingsFile = ModuleDirectory() + "Lang_config.cfg";
    // a longer name would not fit the profile call's buffer: the file is then not read
    if (settingsFile.size() >= kSettingsPathBufferSize) {
        return "en";
    }
    return LanguageFromSetting(ReadProfileString(settingsFile, "setting", "language"));
}
