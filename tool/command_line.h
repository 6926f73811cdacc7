#pragma once

#include <string>
#include <vector>

// The program's arguments, its own name first, from the wide command line as UTF-8. An unpaired
// surrogate, which has no UTF-8 form, keeps its own three bytes (as WTF-8 writes it): such an
// argument never equals a keyword and never converts back to a file name, so it is never replaced
// by a look-alike. Empty when the command line cannot be split.
std::vector<std::string> CommandLineArguments();
