#pragma once
// The dialog library's public interface: everything a host needs to show file and folder dialogs.
//
// Each dialog export returns at once; the dialog runs on a worker thread of its own and the chosen
// paths come back through the callback, on that worker thread, at most once per request. The
// directory and names are UTF-8 with backslash separators; a cancelled or refused request gives ""
// and an empty list. std::function and std::string cross this boundary: build the host with the
// same toolchain and the same shared C++ runtime as the library.

#include <functional>
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
