#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A real settings file holds a line or two; a larger one counts as no settings file.
constexpr std::uint64_t kLongestSettingsFile = 64 * 1024;

// "cs" for the setting value "Simpchinese" in any ASCII letter case, "en" for anything else.
std::string LanguageFromSetting(const std::string& value);

// "cs" when Lang_config.cfg in the program's directory (with its trailing separator) asks for
// Simplified Chinese, else "en"; "en" without reading anything when the directory is unknown.
std::string ReadLanguageSetting(const std::optional<std::string>& directory);
