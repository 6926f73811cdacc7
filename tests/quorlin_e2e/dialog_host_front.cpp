// The dialog host's front for the C++ exports of quorlin.h: each request goes to its export with a
// std::function callback that hands the result to the host's reporting.
#include <string>
#include <vector>

#include "dialog_host.h"
#include "quorlin.h"

extern "C" int dialog_host_show(int kind, int is_chinese, int with_callback, int request) {
    using Export = void (*)(bool, DialogCallback);
    static const Export exports[] = {showFilesDialog, showFoldersDialog, showSaveDialog,
                                     showSelectfileDialog, showSelectfileFolderDialog};
    if (kind < 0 || kind > 4) return DIALOG_HOST_UNSUPPORTED;
    DialogCallback callback;
    if (with_callback != 0) {
        callback = [request](const std::string& directory, const std::vector<std::string>& names) {
            std::vector<const char*> pointers;
            for (const std::string& name : names) pointers.push_back(name.c_str());
            pointers.push_back(nullptr);
            dialog_host_report(request, -1, 0, directory.c_str(), pointers.data(), names.size(),
                               -1);
        };
    }
    exports[kind](is_chinese != 0, callback);
    return DIALOG_HOST_NO_RESULT;
}

extern "C" int dialog_host_request(int, int, void*, const char*, int) {
    return DIALOG_HOST_UNSUPPORTED;
}

extern "C" void dialog_host_activate(void) { activeDlgWindow(); }

extern "C" int dialog_host_abi(int*, int*) { return 0; }
