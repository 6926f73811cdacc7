#include "repair_log.h"

namespace {

const char kHexDigits[] = "0123456789abcdef";

}  // namespace

std::string RepairFailedEvent(const std::string& row, const std::string& step,
                              unsigned long error) {
    return "repair failed: " + row + ": " + (step.empty() ? "unknown" : step) + " (error " +
           std::to_string(error) + ")";
}

std::string LoggedValue(const std::optional<std::string>& text) {
    if (!text) {
        return "absent";
    }
    std::string_view shown = *text;
    if (shown.size() > kLoggedValueLimit) {
        // back to the start of the sequence the limit falls in
        std::size_t cut = kLoggedValueLimit;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        shown = shown.substr(0, cut);
    }
    std::string quoted = "\"";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const char c = shown[i];
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '\t':
                quoted += "\\t";
                break;
            default:
                // one line per event, whatever the value holds: also the line breaks beyond ASCII
                // (U+0085 is C2 85, U+2028 and U+2029 are E2 80 A8 and E2 80 A9)
                if (byte < 0x20 || byte == 0x7F) {
                    quoted += "\\u00";
                    quoted += kHexDigits[byte >> 4];
                    quoted += kHexDigits[byte & 0xF];
                } else if (byte == 0xC2 && i + 1 < shown.size() &&
                           static_cast<unsigned char>(shown[i + 1]) == 0x85) {
                    quoted += "\\u0085";
                    ++i;
                } else if (byte == 0xE2 && i + 2 < shown.size() &&
                           static_cast<unsigned char>(shown[i + 1]) == 0x80 &&
                           (static_cast<unsigned char>(shown[i + 2]) == 0xA8 ||
                            static_cast<unsigned char>(shown[i + 2]) == 0xA9)) {
                    quoted +=
                        static_cast<unsigned char>(shown[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
                    i += 2;
                } else {
                    quoted += c;
                }
        }
    }
    quoted += "\"";
    if (shown.size() < text->size()) {
        quoted +=
            " (" + std::to_string(shown.size()) + " of " + std::to_string(text->size()) + " bytes)";
    }
    return quoted;
}

std::string ChangeEvent(const std::string& what, const std::string& old, const std::string& now) {
    return what + ": " + old + " -> " + now;
}

std::string ComposeLog(std::string_view existing, bool tail, std::string_view line,
                       std::size_t limit) {
    std::string_view kept = existing;
    if (tail) {
        const std::size_t firstEnd = kept.find('\n');
        kept = firstEnd == std::string_view::npos ? std::string_view() : kept.substr(firstEnd + 1);
    }
    // a last line without its line end (written by someone else) is ended before the new one
    const std::string_view separator = !kept.empty() && kept.back() != '\n' ? "\n" : "";
    const std::size_t whole = kept.size() + separator.size() + line.size();
    if (whole > limit) {
        // the first line end at or after the excess: everything up to it goes
        const std::size_t excess = whole - limit;
        const std::size_t cut =
            excess <= kept.size() ? kept.find('\n', excess - 1) : std::string_view::npos;
        kept = cut == std::string_view::npos ? std::string_view() : kept.substr(cut + 1);
    }
    std::string log(kept);
    if (!kept.empty()) {
        log += separator;
    }
    log += line;
    return log;
}
