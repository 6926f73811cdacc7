#pragma once
// The dialog library's public interface: everything a host needs to show file and folder dialogs.
//
// Each dialog export returns at once. Requests are served one after another, first come first
// served; one that waits for its turn holds no thread, only its record. One thread of the library
// shows the dialogs, and the chosen paths come back through the callback on a thread started for
// that delivery, never the thread that called the export, exactly once per request. The directory
// and names are UTF-8 with backslash separators; a cancelled or refused request gives "" and an
// empty list. std::function and std::string cross this boundary: build the host with the same
// toolchain and the same shared C++ runtime as the library.
//
// What a host must know:
// - While a callback runs, the library waits for it: the next dialog opens only after it returns.
//   A callback may request another dialog but must never wait for its result.
// - A request made while one of the library's dialogs is open is answered at once with "" and an
//   empty list, and that dialog comes to the front (or the box it shows, when the user must answer
//   that first).
// - The items delivered are always of one folder: a dialog refuses items of several folders (full
//   paths typed into its name box, a search's results) while it is open, and says so to the user.
// - An exception must not leave the callback; the library stops any that does (it never ends the
//   host) and the request is over.
// - A request ends without any callback only when the library cannot start a thread or cannot
//   prepare the dialogs for the process; otherwise the callback comes exactly once.
// - The host's UI thread need not answer messages while a dialog is open: the library never ties
//   its input to another thread's.
// - activeDlgWindow may be called from any thread; it touches only this library's own dialog in
//   this process.
// - The first dialog request keeps the library loaded until the process ends, whatever
//   FreeLibrary calls the host makes (also from inside a callback), so its threads never run in
//   unloaded code. The process may end while a dialog is open.

#include <functional>
// std::function and std::string are laid out as Quorlin.dll's libstdc++ lays them out: that of
// mingw-w64 GCC 12 (libstdc++-6.dll), with the C++11 std::string. A host built against another
// C++ library, another major version of it or its old std::string would pass objects the library
// misreads, and only at run time.
#if !defined(QUORLIN_SAME_CXX_RUNTIME)
#if !defined(__GLIBCXX__)
#error \
    "quorlin.h: this host is built against another C++ library than Quorlin.dll's libstdc++; include quorlin_c.h, the library's C interface, instead"
#elif _GLIBCXX_RELEASE != 12
#error \
    "quorlin.h: this host is built against another major version of libstdc++ than Quorlin.dll's (GCC 12); include quorlin_c.h, the library's C interface, instead"
#elif !_GLIBCXX_USE_CXX11_ABI
#error \
    "quorlin.h: this host is built with the old std::string (_GLIBCXX_USE_CXX11_ABI=0), Quorlin.dll with the C++11 one; build it with _GLIBCXX_USE_CXX11_ABI=1 or include quorlin_c.h, the library's C interface, instead"
#endif
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
