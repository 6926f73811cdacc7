#pragma once

#include <string>

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

// A name usable as the URL scheme and as a key under HKEY_CLASSES_ROOT: a scheme as RFC 3986
// defines it (an ASCII letter, then letters, digits, "+", "-" or "."), 1 to 63 characters.
bool IsValidApplicationName(const std::string& name);
