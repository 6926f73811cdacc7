#pragma once
// Where the system's folders are, and where an open file or folder really is, for telling it from
// one reached through a link.

#include <windows.h>

#include <string>

// Whether the open file or folder is name in folder itself: its final path is folder's (reached as
// any path is, links on the way followed) with name below it, letter case ignored. A link in
// name's place leads elsewhere, also under Wine, which opens a Unix link's target even when asked
// for the link itself.
bool IsNamedInFolder(HANDLE file, const std::wstring& folder, const std::wstring& name);

// The Windows system directory without a trailing separator; empty when it cannot be had.
std::wstring SystemDirectory();
