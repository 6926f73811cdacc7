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
// - A request made while our dialog is on screen is refused: the dialog (or the box it shows) comes
//   to the front and the empty answer goes at once, on a thread of its own and outside the lock.
// - The dialog thread is per-monitor DPI aware while it shows a dialog, and only then: the host's
//   threads and the callback's keep the awareness they have.
// - A drive root chosen in a folder dialog puts the request back at the front of the line, as a
//   dialog of folders to upload with the same callback.
// - The first request pins the library in the process, so its threads run on safely after the
//   host's FreeLibrary and simply return when done.

#include "win_dialog_worker.h"

#include <process.h>
#include <shellapi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

#include "win_handle_owners.h"

namespace {

constexpr UINT kIconDelayMs = 200;

// The requests waiting for their turn, linked through themselves: putting a request in line never
// allocates, so an accepted request is never lost on the way.
class RequestLine {
public:
    bool empty() const { return first_ == nullptr; }
    int size() const { return size_; }
    void pushBack(std::unique_ptr<DialogRequest> request) {
        DialogRequest* const added = request.release();
        (last_ != nullptr ? last_->next : first_) = added;
        last_ = added;
        ++size_;
    }
    void pushFront(std::unique_ptr<DialogRequest> request) {
        request->next = first_;
        first_ = request.release();
        if (last_ == nullptr) last_ = first_;
        ++size_;
    }
    std::unique_ptr<DialogRequest> popFront() {
        std::unique_ptr<DialogRequest> request(first_);
        first_ = first_->next;
        if (first_ == nullptr) last_ = nullptr;
        request->next = nullptr;
        --size_;
        return request;
    }

private:
    DialogRequest* first_ = nullptr;
    DialogRequest* last_ = nullptr;
    int size_ = 0;
};

// Created on first use and never destroyed: a host may end the process while the dialog thread
// runs, and no destructor must then run over what that thread was using.
struct Library {
    std::mutex lock;   // guards the fields below, never held while a dialog or callback runs
    RequestLine line;  // the requests it holds go with the process
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

// The dialog, or the box it shows (which disables it), whichever the user must answer: a disabled
// window would take the keyboard and do nothing with it. Only a popup the user can see counts: a
// hidden one the dialog owns (a list or tip of its controls) would take the keyboard away from it.
void bringToFront(HWND dialog) {
    const HWND popup = GetLastActivePopup(dialog);
    const HWND window = IsWindowVisible(popup) && IsWindowEnabled(popup) ? popup : dialog;
    FlashWindow(window, TRUE);
    if (!IsWindowEnabled(window)) return;
    if (!SetForegroundWindow(window)) {
        // A process that did not have the user's last input may not take the foreground: the
        // dialog is raised without activation and its taskbar button flashes until the user comes.
        SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        FLASHWINFO flash{sizeof(flash), dialog, FLASHW_ALL | FLASHW_TIMERNOFG, 0, 0};
        FlashWindowEx(&flash);
        return;
    }
    BringWindowToTop(window);
    // a control of the dialog that has the focus keeps it (the dialog would hand it to its first
    // control); from another thread this cannot take the focus anyway
    const HWND focus = GetFocus();
    if (focus != window && !IsChild(window, focus)) SetFocus(window);
}

struct DialogAnswer {
    DialogStatus status = DialogFailed;
    HRESULT error = S_OK;
    Selection selection;
};

bool hasCallback(const DialogRequest& request) {
    return request.callback || request.report != nullptr || request.selectionReport != nullptr;
}

// The host's callback must not end the host nor keep the turn: whatever it throws stops here.
void deliver(const DialogRequest& request, const DialogAnswer& answer) {
    try {
        const Selection& selection = answer.selection;
        if (request.callback) {
            request.callback(selection.directory, selection.names);
            return;
        }
        DialogStatus status = answer.status;
        HRESULT error = answer.error;
        std::size_t count = selection.names.size();
        const std::unique_ptr<const char*[]> names(new (std::nothrow) const char*[count + 1]);
        const char* none = nullptr;
        if (!names) {  // told as a failure, with no names
            status = DialogFailed;
            error = E_OUTOFMEMORY;
            count = 0;
        }
        const char** const list = names ? names.get() : &none;
        for (std::size_t i = 0; i < count; ++i) list[i] = selection.names[i].c_str();
        list[count] = nullptr;
        const char* const directory = count == 0 ? "" : selection.directory.c_str();
        if (request.report != nullptr) {
            request.report(request.user, status, error, directory, list, count);
        } else if (request.selectionReport != nullptr) {
            request.selectionReport(request.user, directory, list, count);
        }
    } catch (...) {
    }
}

struct Delivery {
    std::unique_ptr<DialogRequest> request;
    DialogAnswer answer;
};

unsigned __stdcall deliveryThread(void* argument) {
    {
        const std::unique_ptr<Delivery> delivery(static_cast<Delivery*>(argument));
        deliver(*delivery->request, delivery->answer);
    }  // the request goes once its callback has returned
    --runningDeliveries;
    return 0;
}

// Starts the thread that delivers the answer and then destroys the request. No thread when the
// request has no callback or none could be started: request and answer stay the caller's.
UniqueHandle startDelivery(std::unique_ptr<DialogRequest>& request, DialogAnswer& answer) {
    if (!hasCallback(*request)) return UniqueHandle();
    std::unique_ptr<Delivery> delivery(new Delivery);  // before the request moves, should it throw
    delivery->request = std::move(request);
    delivery->answer = std::move(answer);
    ++runningDeliveries;
    UniqueHandle thread = startThread(&deliveryThread, delivery.get());
    if (thread) {
        delivery.release();  // the thread owns it now
    } else {
        --runningDeliveries;
        request = std::move(delivery->request);
        answer = std::move(delivery->answer);
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
            if (!lib.line.empty()) return lib.line.popFront();
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

// Windows stretches the dialog of a host that is not DPI aware as a bitmap. The call is looked up,
// since systems before Windows 10 lack it; those that lack the second version refuse it.
using SetThreadDpiAwareness = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

SetThreadDpiAwareness setThreadDpiAwareness() {
    static const auto set = reinterpret_cast<SetThreadDpiAwareness>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
    return set;
}

// The awareness the thread had, for putting back; nullptr when nothing changed.
DPI_AWARENESS_CONTEXT becomePerMonitorAware() {
    const SetThreadDpiAwareness set = setThreadDpiAwareness();
    if (set == nullptr) return nullptr;
    const DPI_AWARENESS_CONTEXT before = set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    return before != nullptr ? before : set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE);
}

DialogAnswer showDialog(const DialogRequest& request) {
    Library& lib = library();
    DialogSettings settings = dialogSettings(request.kind, request.isChinese);
    settings.owner = request.owner;
    if (!request.folder.empty()) settings.folder = request.folder.c_str();
    {
        const std::lock_guard<std::mutex> guard(lib.lock);
        lib.title = settings.title;
    }
    SelectionCollector collector(request.kind);
    const UINT_PTR timer = SetTimer(nullptr, 0, kIconDelayMs, &iconWatcher);
    const DPI_AWARENESS_CONTEXT awareness = becomePerMonitorAware();
    HRESULT shown = E_OUTOFMEMORY;
    try {
        shown = dialogLayer.load()(settings, collector);
    } catch (const std::bad_alloc&) {  // answered as a dialog that could not be shown
    }
    if (awareness != nullptr) setThreadDpiAwareness()(awareness);
    if (timer != 0) KillTimer(nullptr, timer);
    lib.icon.reset();

    DialogAnswer answer;
    if (shown == kDialogCancelled) {
        answer.status = DialogCancelled;
    } else if (FAILED(shown)) {
        answer.error = shown;
    } else {
        answer.selection = collector.finish();
        answer.status = DialogChosen;
        if (answer.selection.names.empty() && !answer.selection.reopenFolderDialog) {
            // nothing a directory and names can say (paths without a folder, or of several)
            answer.status = DialogFailed;
            answer.error = HRESULT_FROM_WIN32(ERROR_BAD_PATHNAME);
        }
    }
    return answer;
}

void serve(std::unique_ptr<DialogRequest>& request) {
    Library& lib = library();
    DialogAnswer answer = showDialog(*request);
    if (answer.selection.reopenFolderDialog) {
        request->kind = UploadFolders;
        const std::lock_guard<std::mutex> guard(lib.lock);
        lib.line.pushFront(std::move(request));
        return;
    }
    const UniqueHandle delivery = startDelivery(request, answer);
    if (delivery) {
        waitAnswering(delivery.get());
    } else if (request) {
        deliver(*request, answer);  // an accepted request is always answered
    }
}

// A request the dialog thread cannot serve: only the second C interface's callback hears of it.
void answerFailed(const DialogRequest& request, HRESULT error) {
    if (request.report == nullptr) return;
    DialogAnswer failed;
    failed.error = error;
    deliver(request, failed);
}

unsigned __stdcall dialogWorker(void*) {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialised)) {
        // no dialogs in this process now: the requests in line end; a later one tries again
        for (;;) {
            std::unique_ptr<DialogRequest> request;
            {
                const std::lock_guard<std::mutex> guard(library().lock);
                if (library().line.empty()) {
                    library().dialogThread = 0;
                    return 0;
                }
                request = library().line.popFront();
            }
            answerFailed(*request, initialised);
        }
    }
    for (;;) {
        std::unique_ptr<DialogRequest> request = nextRequest();
        try {
            serve(request);
        } catch (const std::bad_alloc&) {  // that request ends; the thread serves the next
            if (request) answerFailed(*request, E_OUTOFMEMORY);
        }
    }
}

// Delivers the empty answer of a refused request on a thread of its own.
bool refuse(std::unique_ptr<DialogRequest>& request) {
    DialogAnswer refused;
    refused.status = DialogRefused;
    return !hasCallback(*request) || startDelivery(request, refused);
}

}  // namespace

bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback) {
    try {
        auto request = std::make_unique<DialogRequest>();
        request->kind = kind;
        request->isChinese = isChinese;
        request->callback = std::move(callback);
        return requestDialog(std::move(request));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool requestDialog(std::unique_ptr<DialogRequest> request) {
    try {
        if (!pinLibrary()) return false;
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
        lib.line.pushBack(std::move(request));
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
        // a box the dialog shows bears its title: the dialog is the one its thread's windows do
        // not own
        const HWND owner = GetWindow(window, GW_OWNER);
        if (owner != nullptr &&
            GetWindowThreadProcessId(owner, nullptr) == GetWindowThreadProcessId(window, nullptr)) {
            return TRUE;
        }
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
    return library().line.size();
}

int runningDeliveryThreads() { return runningDeliveries; }
