#include "quorlin.h"

QUORLIN_API void showFilesDialog(bool, DialogCallback) {}
QUORLIN_API void showFoldersDialog(bool, DialogCallback) {}
QUORLIN_API void showSaveDialog(bool, DialogCallback) {}
QUORLIN_API void showSelectfileDialog(bool, DialogCallback) {}
QUORLIN_API void showSelectfileFolderDialog(bool, DialogCallback) {}
QUORLIN_API void activeDlgWindow() {}
