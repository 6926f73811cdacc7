#pragma once
// The request record, the library-wide dialog state and the worker thread behind the exports.

#include <windows.h>

#include <memory>
#include <string>

#include "quorlin.h"
#include "selection.h"
#include "win_afx.h"

struct DialogRequest {
    DialogKind kind;
    bool isChinese;
    DialogCallback callback;
};

// The title of kind in the chosen language; it is also the dialog window's caption.
const wchar_t* dialogTitle(DialogKind kind, bool isChinese);

// Hands the request on and returns at once: true when it was accepted (a detached worker owns it,
// or it waits in line for its turn, without a thread, while another request has the turn), false
// when its worker thread cannot be started (the request is released and never answered).
bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback);

// The library's own dialog while it is open: a window of the dialog thread (this process) bearing
// the title of the last dialog shown; nullptr otherwise. Windows of other threads or programs with
// the same title never count.
HWND findDialogWindow();

// Brings the library's open dialog to the front, if there is one.
void activateDialogWindow();

// A consistent copy of the title of the last dialog shown ("" before the first).
std::wstring activeDialogTitle();

// The selection of a dialog that returned IDOK, in the order the dialog reports it.
Selection collectSelection(CFileDialog& dialog, DialogKind kind);

// Thread procedure; owns the DialogRequest it is given. A request that must wait for another's
// dialog and callback leaves its record in line and ends its thread; a new worker serves it when
// its turn comes.
unsigned __stdcall dialogWorker(void* request);

// Requests waiting in line for their turn.
int waitingDialogRequests();

// Where workers get their dialogs; a test build may install one that fakes the user's answers.
using DialogFactory = std::unique_ptr<CFileDialog> (*)(DialogKind kind);
std::unique_ptr<CFileDialog> makeDialog(DialogKind kind);
void setDialogFactory(DialogFactory factory);

// Workers and icon watchers that have not ended yet (the long-lived dialog thread is not counted).
int runningDialogThreads();
