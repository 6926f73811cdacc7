#pragma once

#include <cstdint>
#include <string>

// A real settings file holds a line or two; a larger one counts as no settings file.
constexpr std::uint64_t kLongestSettingsFile = 64 * 1024;

// "cs" for the setting value "Simpchinese" in any ASCII letter case, "en" for anything else.
std::string LanguageFromSetting(const std::string& value);
