#pragma once
// The few class-library pieces the dialog worker relies on, built on the shell's IFileOpenDialog:
// per-thread initialisation, the file and folder dialogs with their OPENFILENAMEW record, the
// modal run and the iteration over the chosen full paths. Unlike the class library it never limits
// a path to MAX_PATH, never cuts a path short, and reports each of several drive roots whole.

#include <windows.h>

#include <commdlg.h>

#include <memory>
#include <string>
#include <vector>

#include "win_handles.h"

// The class library's per-thread state; ours is the thread's COM apartment.
class AfxThreadState {
public:
    AfxThreadState() = default;
    explicit operator bool() const { return static_cast<bool>(apartment_); }

private:
    ComApartment apartment_;
};

// Prepares the calling thread for dialogs; nullptr when it cannot. Keep the result for as long as
// the thread shows dialogs.
std::unique_ptr<AfxThreadState> AfxWinInit(HINSTANCE instance, HINSTANCE previousInstance,
                                           LPWSTR commandLine, int showCommand);

class CString {
public:
    CString() = default;
    explicit CString(std::wstring text) : text_(std::move(text)) {}

    // Replaces every oldChar by newChar; the number of replacements.
    int Replace(wchar_t oldChar, wchar_t newChar);
    int GetLength() const { return static_cast<int>(text_.size()); }
    const wchar_t* GetString() const { return text_.c_str(); }

private:
    std::wstring text_;
};

// A place in the list of chosen paths; nullptr after the last.
using POSITION = const wchar_t*;

class CFileDialog {
public:
    // Same parameters as the class library's; the parent window is a plain handle here.
    explicit CFileDialog(BOOL openFileDialog, LPCWSTR defaultExtension = nullptr,
                         LPCWSTR fileName = nullptr,
                         DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                         LPCWSTR filter = nullptr, HWND parent = nullptr, DWORD size = 0,
                         BOOL vistaStyle = TRUE);
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // lpstrTitle, lpstrFile and nMaxFile may be changed until DoModal.
    OPENFILENAMEW& GetOFN() { return m_ofn; }

    // Shows the dialog on the calling thread. IDOK when the user confirmed a selection; the chosen
    // full paths are then in lpstrFile. A selection that does not fit nMaxFile units is reported as
    // no selection (IDCANCEL) with an empty list: no path is ever cut short.
    virtual INT_PTR DoModal();

    POSITION GetStartPosition() const;
    CString GetNextPathName(POSITION& position) const;

    bool picksFolders() const { return pickFolders_; }

protected:
    CFileDialog(bool pickFolders, DWORD flags, HWND parent);

    OPENFILENAMEW m_ofn{};

private:
    bool pickFolders_;
    std::vector<wchar_t> fileBuffer_;
};

class CFolderPickerDialog : public CFileDialog {
public:
    // fileSystemOnly FALSE: only file-system folders (the shell dialog always forces that here).
    explicit CFolderPickerDialog(LPCWSTR folder = nullptr, DWORD flags = 0, HWND parent = nullptr,
                                 DWORD size = 0, BOOL fileSystemOnly = FALSE);
};
