#pragma once
// Dialog requests: the order in which they are served, the threads that serve them and the
// callback's delivery (the model is described at the top of win_dialog_worker.cpp).

#include <windows.h>

#include <cstddef>
#include <memory>
#include <string>

#include "quorlin.h"
#include "win_file_dialog.h"

// What happened to a request, as the second C interface tells its host.
enum DialogStatus : int { DialogChosen = 0, DialogCancelled, DialogRefused, DialogFailed };

// The C interface's callbacks, handed the null-ended array of names it promises. The second
// version's hears every outcome, a failure's error code too; the first's only what the C++
// callback hears.
using DialogReport = void (*)(void* user, int status, long error, const char* directory,
                              const char* const* names, std::size_t count);
using DialogSelectionReport = void (*)(void* user, const char* directory, const char* const* names,
                                       std::size_t count);

// One request; of its callbacks one at most is set.
struct DialogRequest {
    DialogKind kind = UploadFiles;
    bool isChinese = false;
    DialogCallback callback;                          // the C++ exports'
    DialogReport report = nullptr;                    // the second C interface's
    DialogSelectionReport selectionReport = nullptr;  // the first C interface's
    void* user = nullptr;                             // for either C callback
    HWND owner = nullptr;
    std::wstring folder;            // to open in; empty for where the dialog would anyway
    DialogRequest* next = nullptr;  // the one behind it in line, which the line owns
};

// Puts the request in line and returns at once: true when it was accepted (its callback comes
// exactly once), false when the library cannot start the thread it needs (the request is released
// and never answered).
bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback);
bool requestDialog(std::unique_ptr<DialogRequest> request);

// The library's own dialog while it is open: a window of the dialog thread (this process) bearing
// the title of the last dialog shown and owned by none of that thread's windows (a box it shows
// has its title too); nullptr otherwise. Windows of other threads or programs with the same title
// never count.
HWND findDialogWindow();

// Brings the library's open dialog to the front, if there is one.
void activateDialogWindow();

// A consistent copy of the title of the last dialog shown ("" before the first).
std::wstring lastDialogTitle();

// What shows the dialogs; a test build may install one that fakes the user's answers (nullptr
// puts the platform's back).
using DialogLayer = HRESULT (*)(const DialogSettings& settings, SelectionCollector& collector);
void setDialogLayer(DialogLayer show);

// Requests waiting in line for their turn.
int waitingDialogRequests();

// Delivery threads that have not ended yet (the long-lived dialog thread is not counted).
int runningDeliveryThreads();
