#include <utility>

#include "quorlin.h"
#include "win_dialog_worker.h"

QUORLIN_API void showFilesDialog(bool isChinese, DialogCallback callback) {
    requestDialog(UploadFiles, isChinese, std::move(callback));
}

QUORLIN_API void showFoldersDialog(bool isChinese, DialogCallback callback) {
    requestDialog(UploadFolders, isChinese, std::move(callback));
}

QUORLIN_API void showSaveDialog(bool isChinese, DialogCallback callback) {
    requestDialog(SavePath, isChinese, std::move(callback));
}

QUORLIN_API void showSelectfileDialog(bool isChinese, DialogCallback callback) {
    requestDialog(TransferFiles, isChinese, std::move(callback));
}

QUORLIN_API void showSelectfileFolderDialog(bool isChinese, DialogCallback callback) {
    requestDialog(TransferFolders, isChinese, std::move(callback));
}

QUORLIN_API void activeDlgWindow() { activateDialogWindow(); }
