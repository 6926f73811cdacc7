// The plain C interface over the same worker as the C++ exports.

#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>

#include "quorlin_c.h"
#include "win_dialog_worker.h"

namespace {

static_assert(QUORLIN_UPLOAD_FILES == UploadFiles && QUORLIN_UPLOAD_FOLDERS == UploadFolders &&
                  QUORLIN_SAVE_PATH == SavePath && QUORLIN_TRANSFER_FILES == TransferFiles &&
                  QUORLIN_TRANSFER_FOLDERS == TransferFolders,
              "the C kinds are the dialog kinds");
static_assert(QUORLIN_CHOSEN == DialogChosen && QUORLIN_CANCELLED == DialogCancelled &&
                  QUORLIN_REFUSED == DialogRefused && QUORLIN_FAILED == DialogFailed,
              "the C statuses are the dialog statuses");
static_assert(std::is_same<DialogReport, quorlin_result_callback>::value &&
                  std::is_same<DialogSelectionReport, quorlin_callback>::value,
              "the worker calls the C callbacks as they are");

// The fields the caller's record holds (an earlier version's is shorter). A record longer than
// this version's is refused: its caller counts on fields this library does not know.
bool readOptions(const quorlin_options* options, DialogRequest& request) {
    if (options == nullptr) return true;
    const std::size_t size = options->size;
    if (size < sizeof(options->size) || size > sizeof(quorlin_options)) return false;
    if (size >= offsetof(quorlin_options, owner) + sizeof(options->owner)) {
        request.owner = static_cast<HWND>(options->owner);
        if (request.owner != nullptr && !IsWindow(request.owner)) return false;
    }
    if (size >= offsetof(quorlin_options, folder) + sizeof(options->folder) &&
        options->folder != nullptr) {
        std::optional<Utf16String> folder = Utf16FromUtf8Strict(options->folder);
        if (!folder) return false;
        request.folder = std::move(*folder);
    }
    return true;
}

int request(int kind, int isChinese, const quorlin_options* options, quorlin_result_callback report,
            quorlin_callback selectionReport, void* user) {
    if (kind < UploadFiles || kind > TransferFolders) return QUORLIN_ERROR_KIND;
    try {
        auto request = std::make_unique<DialogRequest>();
        request->kind = static_cast<DialogKind>(kind);
        request->isChinese = isChinese != 0;
        request->report = report;
        request->selectionReport = selectionReport;
        request->user = user;
        if (!readOptions(options, *request)) return QUORLIN_ERROR_OPTIONS;
        return requestDialog(std::move(request)) ? QUORLIN_OK : QUORLIN_ERROR_THREAD;
    } catch (const std::bad_alloc&) {
        return QUORLIN_ERROR_THREAD;
    }
}

}  // namespace

extern "C" QUORLIN_C_API int quorlin_show(int kind, int is_chinese, quorlin_callback callback,
                                          void* user) {
    return request(kind, is_chinese, nullptr, nullptr, callback, user);
}

extern "C" QUORLIN_C_API int quorlin_request(int kind, int is_chinese,
                                             const quorlin_options* options,
                                             quorlin_result_callback callback, void* user) {
    return request(kind, is_chinese, options, callback, nullptr, user);
}

extern "C" QUORLIN_C_API void quorlin_activate(void) { activateDialogWindow(); }

extern "C" QUORLIN_C_API int quorlin_abi_version(void) { return QUORLIN_ABI_VERSION; }
