#pragma once
// The dialog library's public interface: everything a host needs to show file and folder dialogs.
//
// Each dialog export returns at once; the request is served on a worker thread of its own and the
// chosen paths come back through the callback, on that worker thread, at most once per request. The
// directory and names are UTF-8 with backslash separators; a cancelled or refused request gives ""
// and an empty list. std::function and std::string cross this boundary: build the host with the
// same toolchain and the same shared C++ runtime as the library.
//
// What a host must know:
// - The callback runs while the library's lock is held: the next dialog opens only after it
//   returns. A callback may request another dialog but must never wait for its result.
// - An exception must not leave the callback; the library stops any that does (it never ends the
//   host) and the request is over.
// - A request ends without any callback only when its worker thread cannot be started or the
//   dialogs cannot be prepared for the process; otherwise the callback comes exactly once.
// - activeDlgWindow may be called from any thread; it touches only this library's own dialog in
//   this process.
// - Dialogs are shown by one thread of the library that lives as long as the process: once a
//   dialog was requested, the library stays loaded until the process ends, whatever FreeLibrary
//   calls the host makes. Before that, FreeLibrary is safe at any time: the library's threads keep
//   it loaded until they have ended.

#include <functional>
// std::function and std::string are laid out as libstdc++ lays them out: a host built against
// another C++ library would pass objects the library misreads.
#if !defined(__GLIBCXX__) && !defined(QUORLIN_SAME_CXX_RUNTIME)
#error \
    "quorlin.h: this host is built against another C++ library than Quorlin.dll's libstdc++; include quorlin_c.h, the library's C interface, instead"
#endif
#include <string>
#include <vector>

#ifdef QUORLIN_BUILDING
#define QUORLIN_API extern "C" __declspec(dllexport)
#else
#define QUORLIN_API extern "C" __declspec(dllimport)
#endif

using DialogCallback =
    std::function<void(const std::string& directory, const std::vector<std::string>& names)>;

// Files to upload.
QUORLIN_API void showFilesDialog(bool isChinese, DialogCallback callback);
// Folders to upload.
QUORLIN_API void showFoldersDialog(bool isChinese, DialogCallback callback);
// The folder to save into.
QUORLIN_API void showSaveDialog(bool isChinese, DialogCallback callback);
// Files to transfer.
QUORLIN_API void showSelectfileDialog(bool isChinese, DialogCallback callback);
// Folders to transfer.
QUORLIN_API void showSelectfileFolderDialog(bool isChinese, DialogCallback callback);
// Brings the library's open dialog, if any, to the front.
QUORLIN_API void activeDlgWindow();
