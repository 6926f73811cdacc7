#pragma once

#include <string>
#include <string_view>

#include <pugixml.hpp>

// The application name: the URL scheme, the registry key that registers it and the folder of the
// repair log. name.xml beside the program gives it.

// The name when name.xml gives none.
inline constexpr char kDefaultApplicationName[] = "Brevant";

// The application name from the name file's document; "Brevant" when the file did not load (no
// file, unreadable, not well-formed) or its application element is missing, the "name" attribute
// as written (possibly empty) otherwise.
std::string ApplicationNameFromDocument(const pugi::xml_document& document,
                                        const pugi::xml_parse_result& loaded);

// The application name from the bytes of a name file, as ApplicationNameFromDocument gives it from
// them (the encoding detected as pugixml detects it). A NUL written as a character reference
// (&#0;) would end the name there: such a name keeps the NUL, so that it is refused rather than
// registered cut short.
std::string ApplicationNameFromFile(std::string_view bytes);

// A name usable as the URL scheme and as a key under HKEY_CLASSES_ROOT: a scheme as RFC 3986
// defines it (an ASCII letter, then letters, digits, "+", "-" or "."), 1 to 63 characters.
bool IsValidApplicationName(const std::string& name);
