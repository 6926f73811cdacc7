#pragma once
// The platform's file and folder dialogs (IFileOpenDialog): how each kind is titled and set up,
// and one modal run that hands every chosen item's file-system path straight to the collector,
// however many items and however long their paths.

#include <windows.h>

#include <shobjidl.h>

#include "selection.h"

struct DialogSettings {
    DialogKind kind;
    const wchar_t* title;           // in the request's language; also the caption the library finds
    FILEOPENDIALOGOPTIONS options;  // added to the dialog's own defaults
    const GUID* clientGuid;         // the kind's own remembered folder
    const wchar_t* severalFolders;  // what the user is told when the items are in several folders
    HWND owner = nullptr;           // the window that owns the dialog, if any
    const wchar_t* folder = nullptr;  // the folder it opens in; nullptr where it would anyway
};

DialogSettings dialogSettings(DialogKind kind, bool isChinese);

// What a dialog answers besides S_OK (a confirmed selection, which the collector then holds).
constexpr HRESULT kDialogCancelled = HRESULT_FROM_WIN32(ERROR_CANCELLED);

// Shows the dialog modally on the calling thread, which must be in a single-threaded COM
// apartment. S_OK when the user confirmed a selection of one folder; kDialogCancelled when the
// dialog was cancelled; the failure otherwise (the owner gone, the dialog not shown or not read).
// A selection of several folders is refused while the dialog is open: the user is told and the
// dialog stays.
HRESULT showFileDialog(const DialogSettings& settings, SelectionCollector& collector);
