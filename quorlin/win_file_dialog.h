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
};

DialogSettings dialogSettings(DialogKind kind, bool isChinese);

// Shows the dialog modally on the calling thread, which must be in a single-threaded COM
// apartment. True when the user confirmed a selection, which the collector then holds; false
// when the dialog was cancelled or could not be shown or read.
bool showFileDialog(const DialogSettings& settings, SelectionCollector& collector);
