#pragma once

#include <string>

// The configuration document built into tool.exe: hosts, setup (win and linux items), no proxy.
extern const std::string kDefaultConfig;
