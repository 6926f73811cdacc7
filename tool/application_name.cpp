#include "application_name.h"

#include <algorithm>

namespace {

// The longest scheme name accepted: short enough for any registry key name and any URL.
constexpr std::size_t kLongestApplicationName = 63;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string ApplicationNameFromDocument(const pugi::xml_document& document,
                                        const pugi::xml_parse_result& loaded) {
    // a document that failed to load may still hold what was parsed before the fault
    if (!loaded) {
        return kDefaultApplicationName;
    }
    const pugi::xml_node application = document.child("root").child("windows").child("application");
    if (!application) {
        return kDefaultApplicationName;
    }
    return application.attribute("name").value();
}

bool IsValidApplicationName(const std::string& name) {
    if (name.empty() || name.size() > kLongestApplicationName || !IsAsciiLetter(name[0])) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}
