#include "application_name.h"

#include <algorithm>
#include <cstdint>

namespace {

// The longest scheme name accepted: short enough for any registry key name and any URL.
constexpr std::size_t kLongestApplicationName = 63;

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Whether unescaped attribute text holds a character reference that pugixml decodes to NUL: "&#",
// decimal digits or "x" (lower case only, as pugixml reads it) and hex digits, then ";", the value
// taken modulo 2^32 as pugixml takes it.
bool HoldsNulReference(std::string_view text) {
    for (std::size_t at = text.find("&#"); at != std::string_view::npos;
         at = text.find("&#", at + 2)) {
        std::size_t i = at + 2;
        const bool hex = i < text.size() && text[i] == 'x';
        i += hex ? 1 : 0;
        std::uint32_t value = 0;
        const std::size_t digits = i;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            const bool digit = c >= '0' && c <= '9';
            const bool letter = hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
            if (!digit && !letter) {
                break;
            }
            const std::uint32_t part =
                digit ? c - '0' : static_cast<std::uint32_t>((c | 0x20) - 'a' + 10);
            value = value * (hex ? 16u : 10u) + part;
        }
        if (i > digits && i < text.size() && text[i] == ';' && value == 0) {
            return true;
        }
    }
    return false;
}

pugi::xml_node ApplicationElement(const pugi::xml_document& document) {
    return document.child("root").child("windows").child("application");
}

}  // namespace

std::string ApplicationNameFromDocument(const pugi::xml_document& document,
                                        const pugi::xml_parse_result& loaded) {
    // a document that failed to load may still hold what was parsed before the fault
    if (!loaded) {
        return kDefaultApplicationName;
    }
    const pugi::xml_node application = ApplicationElement(document);
    if (!application) {
        return kDefaultApplicationName;
    }
    return application.attribute("name").value();
}

std::string ApplicationNameFromFile(std::string_view bytes) {
    pugi::xml_document document;
    const pugi::xml_parse_result loaded = document.load_buffer(bytes.data(), bytes.size());
    std::string name = ApplicationNameFromDocument(document, loaded);
    // the same document with its references left as written
    pugi::xml_document written;
    if (loaded && ApplicationElement(document) &&
        written.load_buffer(bytes.data(), bytes.size(),
                            pugi::parse_default & ~pugi::parse_escapes) &&
        HoldsNulReference(ApplicationElement(written).attribute("name").value())) {
        name += '\0';
    }
    return name;
}

bool IsValidApplicationName(const std::string& name) {
    if (name.empty() || name.size() > kLongestApplicationName || !IsAsciiLetter(name[0])) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '+' || c == '-' || c == '.';
    });
}
