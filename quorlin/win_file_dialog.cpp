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
    ComPtr<IFileOpenDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(dialog.put())))) {
        return false;
    }
    FILEOPENDIALOGOPTIONS defaults = 0;
    dialog->GetOptions(&defaults);
    if (FAILED(dialog->SetOptions(defaults | settings.options))) return false;
    dialog->SetTitle(settings.title);
    if (FAILED(dialog->Show(nullptr))) return false;

    ComPtr<IShellItemArray> items;
    if (FAILED(dialog->GetResults(items.put()))) return false;
    DWORD count = 0;
    if (FAILED(items->GetCount(&count)) || count == 0) return false;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        if (FAILED(items->GetItemAt(i, item.put()))) return false;
        UniqueCoTaskText path;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put()))) return false;
        if (!collector.add(path.get())) break;  // a drive root: the folder dialog opens again
    }
    return true;
}
