#include "win_file_dialog.h"

#include "win_handle_owners.h"

namespace {

// The dialogs' flags as the old common dialogs had them: several items, existing ones only, and
// for files the overwrite prompt (the read-only box has no counterpart here). Only file-system
// items: every path goes to the host as text.
constexpr FILEOPENDIALOGOPTIONS kFileOptions =
    FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_OVERWRITEPROMPT;
constexpr FILEOPENDIALOGOPTIONS kFolderOptions =
    FOS_FORCEFILESYSTEM | FOS_PICKFOLDERS | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST;

const wchar_t kTitleChooseFiles[] = L"Choose Files";
const wchar_t kTitleChooseDirectories[] = L"Choose Directories";
const wchar_t kTitleChooseSavePath[] = L"Choose Save Path";

}  // namespace

DialogSettings dialogSettings(DialogKind kind, bool isChinese) {
    switch (kind) {
        case UploadFiles:
            return {kind, isChinese ? L"选择要上传的文件" : kTitleChooseFiles, kFileOptions};
        case UploadFolders:
            return {kind, isChinese ? L"选择要上传的文件夹" : kTitleChooseDirectories,
                    kFolderOptions};
        case SavePath:
            return {kind, isChinese ? L"选择保存路径" : kTitleChooseSavePath, kFolderOptions};
        case TransferFiles:
            return {kind, isChinese ? L"选择要传输的文件" : kTitleChooseFiles, kFileOptions};
        case TransferFolders:
            return {kind, isChinese ? L"选择要传输的文件夹" : kTitleChooseDirectories,
                    kFolderOptions};
    }
    return {UploadFiles, kTitleChooseFiles, kFileOptions};
}

bool showFileDialog(const DialogSettings& settings, SelectionCollector& collector) {
    IFileOpenDialog* rawDialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&rawDialog)))) {
        return false;
    }
    const ComPtr<IFileOpenDialog> dialog(rawDialog);
    FILEOPENDIALOGOPTIONS defaults = 0;
    dialog.get()->GetOptions(&defaults);
    if (FAILED(dialog.get()->SetOptions(defaults | settings.options))) return false;
    dialog.get()->SetTitle(settings.title);
    if (FAILED(dialog.get()->Show(nullptr))) return false;

    IShellItemArray* rawItems = nullptr;
    if (FAILED(dialog.get()->GetResults(&rawItems))) return false;
    const ComPtr<IShellItemArray> items(rawItems);
    DWORD count = 0;
    if (FAILED(items.get()->GetCount(&count)) || count == 0) return false;
    for (DWORD i = 0; i < count; ++i) {
        IShellItem* rawItem = nullptr;
        if (FAILED(items.get()->GetItemAt(i, &rawItem))) return false;
        const ComPtr<IShellItem> item(rawItem);
        PWSTR rawPath = nullptr;
        if (FAILED(item.get()->GetDisplayName(SIGDN_FILESYSPATH, &rawPath))) return false;
        const UniqueCoTaskText path(rawPath);
        if (!collector.add(path.get())) break;  // a drive root: the folder dialog opens again
    }
    return true;
}
