// How a dialog request is served:
// - The export, on any thread of the host, puts the request at the back of one line and returns.
//   A request in line holds only its record: no thread, no dialog.
// - One dialog thread, started by the first request and kept for the life of the process, takes
//   the requests from the front of the line one at a time and shows each one's dialog modally, in
//   its one COM apartment (under Wine a process's 64th apartment that shows a file dialog hangs).
// - A served request's callback runs on a thread started for that delivery, never on the host's
//   thread. The dialog thread waits, answering window messages, until the callback has returned
//   and the request is destroyed: that wait is the library's lock, so no dialog opens and no
//   other result is delivered while a callback runs. A request made from a callback goes in line.
// - A request made while our dialog is on screen is refused: the dialog comes to the front and the
//   empty answer goes at once, on a thread of its own and outside the lock.
// - A drive root chosen in a folder dialog puts the request back at the front of the line, as a
//   dialog of folders to upload with the same callback.
// - The first request pins the library in the process, so its threads run on safely after the
//   host's FreeLibrary and simply return when done.

#include "win_dialog_worker.h"

#include <process.h>
#include <shellapi.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "win_handle_owners.h"

namespace {

constexpr UINT kIconDelayMs = 200;

struct DialogRequest {
    DialogKind kind;
    bool isChinese;
    DialogCallback callback;
};

// Created on first use and never destroyed: a host may end the process while the dialog thread
// runs, and no destructor must then run over what that thread was using.
struct Library {
    std::mutex lock;  // guards the fields below, never held while a dialog or callback runs
    std::deque<std::unique_ptr<DialogRequest>> line;
    UniqueHandle lineChanged{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    unsigned dialogThread = 0;  // its identifier; 0 while none runs
    std::wstring title;         // of the last dialog shown
    UniqueIcon icon;            // of the open dialog; the dialog thread's alone
};

Library& library() {
    static Library* const instance = new Library;
    return *instance;
}

std::atomic<DialogLayer> dialogLayer{&showFileDialog};
std::atomic<int> runningDeliveries{0};

bool pinLibrary() {
    static const bool pinned = [] {
        HMODULE module = nullptr;
        return GetModuleHandleExW(
                   GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                   reinterpret_cast<LPCWSTR>(&library), &module) != FALSE;
    }();
    return pinned;
}

UniqueHandle startThread(unsigned(__stdcall* body)(void*), void* argument, unsigned* id = nullptr) {
    return UniqueHandle(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, body, argument, 0, id)));
}

void bringToFront(HWND window) {
    FlashWindow(window, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    // a control of the dialog that has the focus keeps it (the dialog would hand it to its first
    // control); from another thread this cannot take the focus anyway
    const HWND focus = GetFocus();
    if (focus != window && !IsChild(window, focus)) SetFocus(window);
}

// The host's callback must not end the host nor keep the turn: whatever it throws stops here.
void deliver(const DialogRequest& request, const Selection& selection) {
    if (!request.callback) return;
    try {
        request.callback(selection.directory, selection.names);
    } catch (...) {
    }
}

struct Delivery {
    std::unique_ptr<DialogRequest> request;
    Selection selection;
};

unsigned __stdcall deliveryThread(void* argument) {
    {
        const std::unique_ptr<Delivery> delivery(static_cast<Delivery*>(argument));
        deliver(*delivery->request, delivery->selection);
    }  // the request goes once its callback has returned
    --runningDeliveries;
    return 0;
}

// Starts the thread that delivers the selection and then destroys the request. No thread when the
// request has no callback or none could be started: request and selection stay the caller's.
UniqueHandle startDelivery(std::unique_ptr<DialogRequest>& request, Selection& selection) {
    if (!request->callback) return UniqueHandle();
    auto delivery = std::make_unique<Delivery>(Delivery{std::move(request), std::move(selection)});
    ++runningDeliveries;
    UniqueHandle thread = startThread(&deliveryThread, delivery.get());
    if (thread) {
        delivery.release();  // the thread owns it now
    } else {
        --runningDeliveries;
        request = std::move(delivery->request);
        selection = std::move(delivery->selection);
    }
    return thread;
}

// Waits for the handle while answering the thread's window messages (the shell's windows in the
// apartment, and the icon timer).
void waitAnswering(HANDLE handle) {
    while (MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) !=
           WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

std::unique_ptr<DialogRequest> nextRequest() {
    Library& lib = library();
    for (;;) {
        {
            const std::lock_guard<std::mutex> guard(lib.lock);
            if (!lib.line.empty()) {
                std::unique_ptr<DialogRequest> request = std::move(lib.line.front());
                lib.line.pop_front();
                return request;
            }
        }
        waitAnswering(lib.lineChanged.get());
    }
}

// 200 ms after the dialog starts, one look for its window, dispatched by the dialog's own modal
// loop: the window gets the application icon and, if it is not in front, is brought forward by its
// own thread.
void CALLBACK iconWatcher(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    const HWND window = findDialogWindow();
    if (window == nullptr) return;
    library().icon.reset(ExtractIconW(nullptr, L"images\\UI.ico", 0));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(library().icon.get()));
    if (GetForegroundWindow() != window) bringToFront(window);
}

void serve(std::unique_ptr<DialogRequest> request) {
    Library& lib = library();
    const DialogSettings settings = dialogSettings(request->kind, request->isChinese);
    {
        const std::lock_guard<std::mutex> guard(lib.lock);
        lib.title = settings.title;
    }
    SelectionCollector collector(request->kind);
    const UINT_PTR timer = SetTimer(nullptr, 0, kIconDelayMs, &iconWatcher);
    bool confirmed = false;
    try {
        confirmed = dialogLayer.load()(settings, collector);
    } catch (const std::bad_alloc&) {  // answered as a dialog that could not be shown
    }
    if (timer != 0) KillTimer(nullptr, timer);
    lib.icon.reset();
    Selection selection = confirmed ? collector.finish() : Selection();

    if (selection.reopenFolderDialog) {
        request->kind = UploadFolders;
        const std::lock_guard<std::mutex> guard(lib.lock);
        lib.line.push_front(std::move(request));
        return;
    }
    const UniqueHandle delivery = startDelivery(request, selection);
    if (delivery) {
        waitAnswering(delivery.get());
    } else if (request) {
        deliver(*request, selection);  // an accepted request is always answered
    }
}

unsigned __stdcall dialogWorker(void*) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        // no dialogs in this process now: the requests in line end unanswered; a later one tries
        // again
        const std::lock_guard<std::mutex> guard(library().lock);
        library().line.clear();
        library().dialogThread = 0;
        return 0;
    }
    for (;;) {
        try {
            serve(nextRequest());
        } catch (const std::bad_alloc&) {  // that request is lost; the thread serves the next
        }
    }
}

// Delivers the empty answer of a refused request on a thread of its own.
bool refuse(std::unique_ptr<DialogRequest>& request) {
    Selection none;
    return !request->callback || startDelivery(request, none);
}

}  // namespace

bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback) {
    try {
        if (!pinLibrary()) return false;
        auto request =
            std::make_unique<DialogRequest>(DialogRequest{kind, isChinese, std::move(callback)});
        // A dialog that is closing is hidden before it goes: a request made then waits in line
        // for its turn rather than being refused for a dialog the user no longer sees.
        const HWND open = findDialogWindow();
        if (open != nullptr && IsWindowVisible(open)) {
            bringToFront(open);
            return refuse(request);
        }
        Library& lib = library();
        const std::lock_guard<std::mutex> guard(lib.lock);
        if (!lib.lineChanged) return false;
        if (lib.dialogThread == 0 && !startThread(&dialogWorker, nullptr, &lib.dialogThread)) {
            return false;
        }
        lib.line.push_back(std::move(request));
        SetEvent(lib.lineChanged.get());
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

HWND findDialogWindow() {
    struct Search {
        std::wstring title;
        HWND found;
    } search{lastDialogTitle(), nullptr};
    unsigned thread = 0;
    {
        const std::lock_guard<std::mutex> guard(library().lock);
        thread = library().dialogThread;
    }
    if (search.title.empty() || thread == 0) return nullptr;
    // the stored caption, as FindWindowW compares it: no message to the dialog's thread
    const auto matchTitle = [](HWND window, LPARAM argument) -> BOOL {
        auto& wanted = *reinterpret_cast<Search*>(argument);
        std::vector<wchar_t> caption(wanted.title.size() + 2);
        const int length =
            InternalGetWindowText(window, caption.data(), static_cast<int>(caption.size()));
        if (wanted.title.compare(0, std::wstring::npos, caption.data(),
                                 static_cast<std::size_t>(length)) != 0) {
            return TRUE;
        }
        wanted.found = window;
        return FALSE;
    };
    EnumThreadWindows(thread, matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void activateDialogWindow() {
    const HWND window = findDialogWindow();
    if (window != nullptr) bringToFront(window);
}

std::wstring lastDialogTitle() {
    const std::lock_guard<std::mutex> guard(library().lock);
    return library().title;
}

void setDialogLayer(DialogLayer show) { dialogLayer = show != nullptr ? show : &showFileDialog; }

int waitingDialogRequests() {
    const std::lock_guard<std::mutex> guard(library().lock);
    return static_cast<int>(library().line.size());
}

int runningDeliveryThreads() { return runningDeliveries; }
