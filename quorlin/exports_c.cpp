// The plain C interface over the same worker as the C++ exports.

#include <string>
#include <utility>
#include <vector>

#include "quorlin_c.h"
#include "win_dialog_worker.h"

namespace {

static_assert(QUORLIN_UPLOAD_FILES == UploadFiles && QUORLIN_UPLOAD_FOLDERS == UploadFolders &&
                  QUORLIN_SAVE_PATH == SavePath && QUORLIN_TRANSFER_FILES == TransferFiles &&
                  QUORLIN_TRANSFER_FOLDERS == TransferFolders,
              "the C kinds are the dialog kinds");

// Hands the worker's result to a C callback: the strings stay the worker's, the pointer array is
// ended by a null pointer.
DialogCallback wrapCallback(quorlin_callback callback, void* user) {
    if (callback == nullptr) return DialogCallback();
    return [callback, user](const std::string& directory, const std::vector<std::string>& names) {
        std::vector<const char*> pointers;
        pointers.reserve(names.size() + 1);
        for (const std::string& name : names) pointers.push_back(name.c_str());
        pointers.push_back(nullptr);
        callback(user, directory.c_str(), pointers.data(), names.size());
    };
}

}  // namespace

extern "C" QUORLIN_C_API int quorlin_show(int kind, int is_chinese, quorlin_callback callback,
                                          void* user) {
    if (kind < UploadFiles || kind > TransferFolders) return QUORLIN_ERROR_KIND;
    const bool accepted =
        requestDialog(static_cast<DialogKind>(kind), is_chinese != 0, wrapCallback(callback, user));
    return accepted ? QUORLIN_OK : QUORLIN_ERROR_THREAD;
}

extern "C" QUORLIN_C_API void quorlin_activate(void) { activateDialogWindow(); }

extern "C" QUORLIN_C_API int quorlin_abi_version(void) { return QUORLIN_ABI_VERSION; }
