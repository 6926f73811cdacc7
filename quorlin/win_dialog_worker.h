#pragma once
// Dialog requests: the order in which they are served, the threads that serve them and the
// callback's delivery (the model is described at the top of win_dialog_worker.cpp).

#include <windows.h>

#include <string>

#include "quorlin.h"
#include "win_file_dialog.h"

// Puts the request in line and returns at once: true when it was accepted (its callback comes
// exactly once), false when the library cannot start the thread it needs (the request is released
// and never answered).
bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback);

// The library's own dialog while it is open: a window of the dialog thread (this process) bearing
// the title of the last dialog shown; nullptr otherwise. Windows of other threads or programs with
// the same title never count.
HWND findDialogWindow();

// Brings the library's open dialog to the front, if there is one.
void activateDialogWindow();

// A consistent copy of the title of the last dialog shown ("" before the first).
std::wstring lastDialogTitle();

// What shows the dialogs; a test build may install one that fakes the user's answers (nullptr
// puts the platform's back).
using DialogLayer = bool (*)(const DialogSettings& settings, SelectionCollector& collector);
void setDialogLayer(DialogLayer show);

// Requests waiting in line for their turn.
int waitingDialogRequests();

// Delivery threads that have not ended yet (the long-lived dialog thread is not counted).
int runningDeliveryThreads();
