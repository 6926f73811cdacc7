#pragma once
// Where the system's folders are.

#include <string>

// The Windows system directory without a trailing separator; empty when it cannot be had.
std::wstring SystemDirectory();
