#pragma once

#include <string>

// "cs" for the setting value "Simpchinese" in any ASCII letter case, "en" for anything else.
std::string LanguageFromSetting(const std::string& value);
