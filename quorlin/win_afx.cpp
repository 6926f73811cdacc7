#include "win_afx.h"

#include <shobjidl.h>

#include <algorithm>

#include "path_list.h"

std::unique_ptr<AfxThreadState> AfxWinInit(HINSTANCE, HINSTANCE, LPWSTR, int) {
    auto state = std::make_unique<AfxThreadState>();
    if (!*state) return nullptr;
    return state;
}

int CString::Replace(wchar_t oldChar, wchar_t newChar) {
    int count = 0;
    for (wchar_t& c : text_) {
        if (c == oldChar) {
            c = newChar;
            ++count;
        }
    }
    return count;
}

CFileDialog::CFileDialog(BOOL, LPCWSTR, LPCWSTR, DWORD flags, LPCWSTR, HWND parent, DWORD, BOOL)
    : CFileDialog(false, flags, parent) {}

CFileDialog::CFileDialog(bool pickFolders, DWORD flags, HWND parent)
    : pickFolders_(pickFolders), fileBuffer_(MAX_PATH, L'\0') {
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = parent;
    m_ofn.Flags = flags;
    m_ofn.lpstrFile = fileBuffer_.data();
    m_ofn.nMaxFile = static_cast<DWORD>(fileBuffer_.size());
}

CFolderPickerDialog::CFolderPickerDialog(LPCWSTR, DWORD flags, HWND parent, DWORD, BOOL)
    : CFileDialog(true, flags, parent) {}

namespace {

FILEOPENDIALOGOPTIONS optionsFor(DWORD flags, bool pickFolders) {
    FILEOPENDIALOGOPTIONS options = FOS_FORCEFILESYSTEM;
    if (pickFolders) options |= FOS_PICKFOLDERS;
    if (flags & OFN_ALLOWMULTISELECT) options |= FOS_ALLOWMULTISELECT;
    if (flags & OFN_FILEMUSTEXIST) options |= FOS_FILEMUSTEXIST;
    if (flags & OFN_PATHMUSTEXIST) options |= FOS_PATHMUSTEXIST;
    if (flags & OFN_OVERWRITEPROMPT) options |= FOS_OVERWRITEPROMPT;
    if (flags & OFN_NOCHANGEDIR) options |= FOS_NOCHANGEDIR;
    return options;
}

// Writes the chosen items' file-system paths into the list; false when one has no such path or
// the whole selection does not fit.
bool storeResults(IFileOpenDialog& dialog, PathListWriter& writer) {
    IShellItemArray* rawItems = nullptr;
    if (FAILED(dialog.GetResults(&rawItems))) return false;
    const ComPtr<IShellItemArray> items(rawItems);
    DWORD count = 0;
    if (FAILED(items->GetCount(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        IShellItem* rawItem = nullptr;
        if (FAILED(items->GetItemAt(i, &rawItem))) return false;
        const ComPtr<IShellItem> item(rawItem);
        wchar_t* rawPath = nullptr;
        if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &rawPath))) return false;
        const CoTaskMemString path(rawPath);
        if (!writer.append(path.get())) return false;
    }
    return count > 0;
}

}  // namespace

INT_PTR CFileDialog::DoModal() {
    PathListWriter writer(m_ofn.lpstrFile, m_ofn.nMaxFile);
    IFileOpenDialog* rawDialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&rawDialog)))) {
        return IDCANCEL;
    }
    const ComPtr<IFileOpenDialog> dialog(rawDialog);
    FILEOPENDIALOGOPTIONS defaults = 0;
    dialog->GetOptions(&defaults);
    if (FAILED(dialog->SetOptions(defaults | optionsFor(m_ofn.Flags, pickFolders_)))) {
        return IDCANCEL;
    }
    if (m_ofn.lpstrTitle != nullptr) dialog->SetTitle(m_ofn.lpstrTitle);
    if (FAILED(dialog->Show(m_ofn.hwndOwner))) return IDCANCEL;
    if (!storeResults(*dialog, writer)) {
        writer.clear();
        return IDCANCEL;
    }
    return IDOK;
}

POSITION CFileDialog::GetStartPosition() const { return firstPath(m_ofn.lpstrFile); }

CString CFileDialog::GetNextPathName(POSITION& position) const {
    return CString(std::wstring(nextPath(position)));
}
