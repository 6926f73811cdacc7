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
const wchar_t kSeveralFolders[] =
    L"The chosen items are in different folders. Choose items of one folder.";
const wchar_t kSeveralFoldersChinese[] =
    L"所选项目位于不同的文件夹中。请选择同一个文件夹中的项目。";

// The system remembers the last folder of each GUID: one per kind, so that the save dialog does
// not open where the user last uploaded from, nor the host's own dialogs where ours were left.
// Indexed by DialogKind.
constexpr GUID kClientGuids[] = {
    {0xa49581cd, 0x23f2, 0x41fd, {0x87, 0x76, 0x92, 0x4f, 0xbf, 0x38, 0x8e, 0x94}},
    {0x9ec12212, 0xec17, 0x4574, {0xa5, 0xaa, 0x76, 0x68, 0x0d, 0xad, 0x30, 0x87}},
    {0x16399d38, 0xa2a2, 0x4c89, {0x85, 0x0d, 0xd7, 0xe1, 0x35, 0xfe, 0x94, 0xfc}},
    {0xcb5d4b8b, 0xddf4, 0x49c0, {0xbd, 0xbd, 0xca, 0x75, 0x72, 0xbf, 0xa6, 0xa4}},
    {0x2cb83fab, 0x49e6, 0x4a28, {0x84, 0xd7, 0x2c, 0x25, 0x2b, 0x68, 0xac, 0x25}},
};

HRESULT collect(IShellItemArray* items, SelectionCollector& collector) {
    collector.restart();
    DWORD count = 0;
    HRESULT result = items->GetCount(&count);
    if (FAILED(result)) return result;
    if (count == 0) return E_UNEXPECTED;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IShellItem> item;
        UniqueCoTaskText path;
        if (FAILED(result = items->GetItemAt(i, item.put())) ||
            FAILED(result = item->GetDisplayName(SIGDN_FILESYSPATH, path.put()))) {
            return result;
        }
        // a drive root in a folder dialog, or an item of another folder: the rest does not count
        if (!collector.add(path.get())) break;
    }
    return S_OK;
}

// Told when the user confirms: a selection of several folders is refused there and then, with the
// dialog still open; one it lets through is already collected.
class ConfirmCheck final : public IFileDialogEvents {
public:
    ConfirmCheck(const DialogSettings& settings, IFileOpenDialog* dialog,
                 SelectionCollector& collector)
        : settings_(settings), dialog_(dialog), collector_(collector) {}

    bool collected = false;

    IFACEMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (iid != IID_IUnknown && iid != IID_IFileDialogEvents) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IFileDialogEvents*>(this);
        return S_OK;
    }
    // lives on the stack of the dialog's run, which unadvises it before it goes
    IFACEMETHODIMP_(ULONG) AddRef() override { return 2; }
    IFACEMETHODIMP_(ULONG) Release() override { return 1; }

    IFACEMETHODIMP OnFileOk(IFileDialog*) override {
        ComPtr<IShellItemArray> items;
        if (FAILED(dialog_->GetResults(items.put())) || FAILED(collect(items.get(), collector_))) {
            return S_OK;  // read once more when the dialog has closed, and answered as it goes then
        }
        if (!collector_.inSeveralFolders()) {
            collected = true;
            return S_OK;
        }
        HWND window = nullptr;
        ComPtr<IOleWindow> oleWindow;
        if (SUCCEEDED(dialog_->QueryInterface(IID_PPV_ARGS(oleWindow.put())))) {
            oleWindow->GetWindow(&window);
        }
        MessageBoxW(window, settings_.severalFolders, settings_.title, MB_OK | MB_ICONWARNING);
        return S_FALSE;
    }
    IFACEMETHODIMP OnFolderChanging(IFileDialog*, IShellItem*) override { return E_NOTIMPL; }
    IFACEMETHODIMP OnFolderChange(IFileDialog*) override { return E_NOTIMPL; }
    IFACEMETHODIMP OnSelectionChange(IFileDialog*) override { return E_NOTIMPL; }
    IFACEMETHODIMP OnShareViolation(IFileDialog*, IShellItem*,
                                    FDE_SHAREVIOLATION_RESPONSE*) override {
        return E_NOTIMPL;
    }
    IFACEMETHODIMP OnTypeChange(IFileDialog*) override { return E_NOTIMPL; }
    IFACEMETHODIMP OnOverwrite(IFileDialog*, IShellItem*, FDE_OVERWRITE_RESPONSE*) override {
        return E_NOTIMPL;
    }

private:
    const DialogSettings& settings_;
    IFileOpenDialog* dialog_;
    SelectionCollector& collector_;
};

}  // namespace

DialogSettings dialogSettings(DialogKind kind, bool isChinese) {
    const wchar_t* title = kTitleChooseFiles;
    FILEOPENDIALOGOPTIONS options = kFolderOptions;
    switch (kind) {
        case UploadFiles:
            title = isChinese ? L"选择要上传的文件" : kTitleChooseFiles;
            options = kFileOptions;
            break;
        case UploadFolders:
            title = isChinese ? L"选择要上传的文件夹" : kTitleChooseDirectories;
            break;
        case SavePath:
            title = isChinese ? L"选择保存路径" : kTitleChooseSavePath;
            break;
        case TransferFiles:
            title = isChinese ? L"选择要传输的文件" : kTitleChooseFiles;
            options = kFileOptions;
            break;
        case TransferFolders:
            title = isChinese ? L"选择要传输的文件夹" : kTitleChooseDirectories;
            break;
        default:
            kind = UploadFiles;
            options = kFileOptions;
    }
    return {kind, title, options, &kClientGuids[kind],
            isChinese ? kSeveralFoldersChinese : kSeveralFolders};
}

HRESULT showFileDialog(const DialogSettings& settings, SelectionCollector& collector) {
    // an owner that went while the request waited: the host that wanted its dialog modal is gone
    if (settings.owner != nullptr && !IsWindow(settings.owner)) {
        return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    }
    ComPtr<IFileOpenDialog> dialog;
    HRESULT result = CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(dialog.put()));
    if (FAILED(result)) return result;
    // first of all, as the platform asks: the state kept for this kind (its last folder, its place
    // and size) is bound to the dialog before anything else is set
    dialog->SetClientGuid(*settings.clientGuid);
    FILEOPENDIALOGOPTIONS defaults = 0;
    dialog->GetOptions(&defaults);
    if (FAILED(result = dialog->SetOptions(defaults | settings.options))) return result;
    dialog->SetTitle(settings.title);
    if (settings.folder != nullptr) {
        // a folder that is gone leaves the dialog where it would open anyway
        ComPtr<IShellItem> folder;
        if (SUCCEEDED(SHCreateItemFromParsingName(settings.folder, nullptr,
                                                  IID_PPV_ARGS(folder.put())))) {
            dialog->SetFolder(folder.get());
        }
    }

    ConfirmCheck check(settings, dialog.get(), collector);
    DWORD cookie = 0;
    const bool advised = SUCCEEDED(dialog->Advise(&check, &cookie));
    result = dialog->Show(settings.owner);
    if (advised) dialog->Unadvise(cookie);
    if (FAILED(result) || check.collected) return result;

    ComPtr<IShellItemArray> items;
    if (FAILED(result = dialog->GetResults(items.put()))) return result;
    return collect(items.get(), collector);
}
