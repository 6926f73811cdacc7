#include "win_dialog_worker.h"

#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "win_dialog_thread.h"
#include "win_handles.h"
#include "win_module_thread.h"

namespace {

constexpr DWORD kResultBufferUnits = 1300000;
constexpr DWORD kFileDialogFlags =
    OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
constexpr DWORD kFolderDialogFlags = OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST;
constexpr auto kIconDelay = std::chrono::milliseconds(200);

const wchar_t kTitleChooseFiles[] = L"Choose Files";
const wchar_t kTitleChooseDirectories[] = L"Choose Directories";
const wchar_t kTitleChooseSavePath[] = L"Choose Save Path";
const wchar_t kTitleUploadFilesChinese[] = L"选择要上传的文件";
const wchar_t kTitleUploadFoldersChinese[] = L"选择要上传的文件夹";
const wchar_t kTitleSavePathChinese[] = L"选择保存路径";
const wchar_t kTitleTransferFilesChinese[] = L"选择要传输的文件";
const wchar_t kTitleTransferFoldersChinese[] = L"选择要传输的文件夹";

std::mutex dialogLock;
// Guards only the title, so that readers never wait for an open dialog.
std::mutex activeDialogTitleLock;
std::wstring activeDialogTitleText;

std::atomic<DialogFactory> dialogFactory{&makeDialog};
std::atomic<int> runningThreads{0};

void publishActiveDialogTitle(const wchar_t* title) {
    const std::lock_guard<std::mutex> guard(activeDialogTitleLock);
    activeDialogTitleText = title;
}

// Counts a thread as running until the end of its procedure.
class RunningThread {
public:
    RunningThread() = default;
    ~RunningThread() { --runningThreads; }
    RunningThread(const RunningThread&) = delete;
    RunningThread& operator=(const RunningThread&) = delete;
};

void bringToFront(HWND window) {
    FlashWindow(window, TRUE);
    SetForegroundWindow(window);
    BringWindowToTop(window);
    SetFocus(window);
}

// Shares the input state of the thread in front with the calling thread while the dialog runs,
// so that the dialog may take the foreground; undoes exactly that pair, even when another
// thread's window came to the front meanwhile.
class InputAttachment {
public:
    InputAttachment()
        : attachedThread_(GetWindowThreadProcessId(GetForegroundWindow(), nullptr)),
          ownThread_(GetCurrentThreadId()),
          attached_(attachedThread_ != 0 && attachedThread_ != ownThread_ &&
                    AttachThreadInput(attachedThread_, ownThread_, TRUE)) {}
    ~InputAttachment() {
        if (attached_) AttachThreadInput(attachedThread_, ownThread_, FALSE);
    }
    InputAttachment(const InputAttachment&) = delete;
    InputAttachment& operator=(const InputAttachment&) = delete;

private:
    DWORD attachedThread_;
    DWORD ownThread_;
    bool attached_;
};

// The host's callback must not end the host nor keep dialogLock: whatever it throws stops here.
void deliver(const DialogRequest& request, const std::string& directory,
             const std::vector<std::string>& names) {
    if (!request.callback) return;
    try {
        request.callback(directory, names);
    } catch (...) {
    }
}

// The worker and the watcher share the icon; whoever finishes last destroys it.
using SharedIcon = std::shared_ptr<UniqueIcon>;

unsigned __stdcall iconWatcher(void* argument) {
    const RunningThread running;
    const std::unique_ptr<SharedIcon> icon(static_cast<SharedIcon*>(argument));
    std::this_thread::sleep_for(kIconDelay);
    const HWND window = findDialogWindow();
    if (window != nullptr) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>((*icon)->get()));
    }
    return 0;
}

void startIconWatcher(const SharedIcon& icon) {
    auto argument = std::make_unique<SharedIcon>(icon);
    ++runningThreads;
    if (startModuleThread(&iconWatcher, argument.get())) {
        argument.release();  // the watcher owns it now
    } else {
        --runningThreads;
    }
}

// Installs the request's result buffer in the dialog and puts the dialog's own back when the
// dialog closes. Fresh pages are zero already: filling 2.6 MB by hand cost about 6 ms per dialog
// under Wine, a tenth of the time the dialog takes to appear.
class ResultBuffer {
public:
    explicit ResultBuffer(OPENFILENAMEW& ofn)
        : ofn_(ofn),
          savedFile_(ofn.lpstrFile),
          savedMaxFile_(ofn.nMaxFile),
          units_(VirtualAlloc(nullptr, kResultBufferUnits * sizeof(wchar_t),
                              MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE)) {
        if (!units_) return;
        ofn_.lpstrFile = static_cast<wchar_t*>(units_.get());
        ofn_.nMaxFile = kResultBufferUnits;
    }
    ~ResultBuffer() {
        ofn_.lpstrFile = savedFile_;
        ofn_.nMaxFile = savedMaxFile_;
    }
    ResultBuffer(const ResultBuffer&) = delete;
    ResultBuffer& operator=(const ResultBuffer&) = delete;

    explicit operator bool() const { return static_cast<bool>(units_); }

private:
    OPENFILENAMEW& ofn_;
    LPWSTR savedFile_;
    DWORD savedMaxFile_;
    UniqueVirtualMemory units_;
};

}  // namespace

const wchar_t* dialogTitle(DialogKind kind, bool isChinese) {
    switch (kind) {
        case UploadFiles:
            return isChinese ? kTitleUploadFilesChinese : kTitleChooseFiles;
        case UploadFolders:
            return isChinese ? kTitleUploadFoldersChinese : kTitleChooseDirectories;
        case SavePath:
            return isChinese ? kTitleSavePathChinese : kTitleChooseSavePath;
        case TransferFiles:
            return isChinese ? kTitleTransferFilesChinese : kTitleChooseFiles;
        case TransferFolders:
            return isChinese ? kTitleTransferFoldersChinese : kTitleChooseDirectories;
    }
    return kTitleChooseFiles;
}

Selection collectSelection(CFileDialog& dialog, DialogKind kind) {
    // the chosen paths are read in place: a CString per item would cost an allocation each, which
    // shows with tens of thousands of items; slashes are turned into backslashes by the collector
    return collectPathList(kind, dialog.GetStartPosition());
}

std::unique_ptr<CFileDialog> makeDialog(DialogKind kind) {
    if (kind == UploadFiles || kind == TransferFiles) {
        return std::make_unique<CFileDialog>(TRUE, nullptr, nullptr, kFileDialogFlags, nullptr,
                                             nullptr, 0, TRUE);
    }
    return std::make_unique<CFolderPickerDialog>(nullptr, kFolderDialogFlags, nullptr, 0, FALSE);
}

void setDialogFactory(DialogFactory factory) {
    dialogFactory = factory != nullptr ? factory : &makeDialog;
}

int runningDialogThreads() { return runningThreads; }

std::wstring activeDialogTitle() {
    const std::lock_guard<std::mutex> guard(activeDialogTitleLock);
    return activeDialogTitleText;
}

namespace {
bool waitInLine(std::unique_ptr<DialogRequest>& request);
}  // namespace

bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback) {
    std::unique_ptr<DialogRequest> request;
    try {
        request =
            std::make_unique<DialogRequest>(DialogRequest{kind, isChinese, std::move(callback)});
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (waitInLine(request)) return true;
    ++runningThreads;
    if (!startModuleThread(&dialogWorker, request.get())) {
        --runningThreads;
        return false;
    }
    request.release();  // the worker owns it now
    return true;
}

HWND findDialogWindow() {
    struct Search {
        std::wstring title;
        HWND found;
    } search{activeDialogTitle(), nullptr};
    const DWORD thread = dialogThreadId();
    if (search.title.empty() || thread == 0) return nullptr;
    // the stored caption, as FindWindowW compares it: no message to the dialog's thread
    const auto matchTitle = [](HWND window, LPARAM argument) -> BOOL {
        auto& search = *reinterpret_cast<Search*>(argument);
        std::vector<wchar_t> caption(search.title.size() + 2);
        const int length =
            InternalGetWindowText(window, caption.data(), static_cast<int>(caption.size()));
        if (search.title.compare(0, std::wstring::npos, caption.data(),
                                 static_cast<std::size_t>(length)) != 0) {
            return TRUE;
        }
        search.found = window;
        return FALSE;
    };
    EnumThreadWindows(thread, matchTitle, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void activateDialogWindow() {
    const HWND window = findDialogWindow();
    if (window != nullptr) bringToFront(window);
}

namespace {

// Shows the request's dialog on the dialog thread; the caller has the turn and holds dialogLock.
// The result buffer and the icon exist only from here on, so requests in line hold neither. The
// icon is loaded and its watcher started while the dialog thread builds the dialog: each costs
// milliseconds under Wine, which the dialog would otherwise wait for.
Selection showDialog(const DialogRequest& request) {
    try {
        std::unique_ptr<CFileDialog> dialog = dialogFactory.load()(request.kind);
        OPENFILENAMEW& ofn = dialog->GetOFN();
        ofn.lpstrTitle = dialogTitle(request.kind, request.isChinese);
        const ResultBuffer buffer(ofn);
        if (!buffer) return Selection();  // as a dialog that could not be shown

        publishActiveDialogTitle(ofn.lpstrTitle);
        INT_PTR result = IDCANCEL;
        SharedIcon icon;  // released once the dialog has closed and the watcher has ended
        runOnDialogThread(
            [&] {
                const InputAttachment input;
                result = dialog->DoModal();
            },
            [&] {
                try {
                    icon =
                        std::make_shared<UniqueIcon>(ExtractIconW(nullptr, L"images\\UI.ico", 0));
                    startIconWatcher(icon);
                } catch (const std::bad_alloc&) {  // the dialog runs on without its icon
                }
            });
        if (result != IDOK) return Selection();
        return collectSelection(*dialog, request.kind);
    } catch (const std::bad_alloc&) {
        return Selection();  // as a dialog that could not be shown
    }
}

// Requests that wait for their turn hold only their record: under Wine every thread costs about
// 1 MiB of committed memory, whatever its stack size, so a thread blocked on dialogLock per
// waiting request made 200 waiting requests cost 200 MiB. The request that has the turn has a
// worker; it hands the turn on, in arrival order, by starting a worker for the next one.
std::mutex turnLock;
bool turnTaken = false;
std::deque<std::unique_ptr<DialogRequest>> waitingRequests;

// A request made while another has the turn and no dialog of ours is open would only wait: it
// goes in line at once, without starting a thread. False when it needs a worker now.
bool waitInLine(std::unique_ptr<DialogRequest>& request) {
    const std::lock_guard<std::mutex> guard(turnLock);
    if (!turnTaken || findDialogWindow() != nullptr) return false;
    try {
        waitingRequests.push_back(std::move(request));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// True when the request has the turn now; otherwise it waits in line (or, with no memory left for
// that, is dropped unanswered).
bool takeTurnOrWait(std::unique_ptr<DialogRequest>& request) {
    const std::lock_guard<std::mutex> guard(turnLock);
    if (!turnTaken) {
        turnTaken = true;
        return true;
    }
    try {
        waitingRequests.push_back(std::move(request));
    } catch (const std::bad_alloc&) {
    }
    return false;
}

unsigned __stdcall turnWorker(void* request);

// Hands the turn to the first request in line, on a worker of its own. When no worker can be
// started, that request comes back to be served on the calling worker instead: an accepted
// request is always answered.
std::unique_ptr<DialogRequest> passTurn() {
    std::unique_ptr<DialogRequest> next;
    {
        const std::lock_guard<std::mutex> guard(turnLock);
        if (waitingRequests.empty()) {
            turnTaken = false;
            return nullptr;
        }
        next = std::move(waitingRequests.front());
        waitingRequests.pop_front();
    }
    ++runningThreads;
    if (startModuleThread(&turnWorker, next.get())) {
        next.release();  // its worker owns it now
        return nullptr;
    }
    --runningThreads;
    return next;
}

// Shows each request's dialog and delivers its result under dialogLock, then passes the turn on.
void serveTurn(std::unique_ptr<DialogRequest> request) {
    while (request) {
        {
            const std::lock_guard<std::mutex> lock(dialogLock);
            const Selection selection = showDialog(*request);
            if (selection.reopenFolderDialog) {
                DialogCallback callback = request->callback;
                requestDialog(UploadFolders, request->isChinese, std::move(callback));
            } else {
                deliver(*request, selection.directory, selection.names);
            }
            request.reset();
        }
        request = passTurn();
    }
}

// The worker of a request whose turn came after it had to wait.
unsigned __stdcall turnWorker(void* request) {
    const RunningThread running;
    serveTurn(std::unique_ptr<DialogRequest>(static_cast<DialogRequest*>(request)));
    return 0;
}

}  // namespace

int waitingDialogRequests() {
    const std::lock_guard<std::mutex> guard(turnLock);
    return static_cast<int>(waitingRequests.size());
}

unsigned __stdcall dialogWorker(void* argument) {
    const RunningThread running;
    std::unique_ptr<DialogRequest> request(static_cast<DialogRequest*>(argument));
    // the class library's per-thread preparation belongs to the dialog thread now
    if (!startDialogThread()) return 0;

    if (const HWND openWindow = findDialogWindow()) {
        bringToFront(openWindow);
        deliver(*request, std::string(), {});
        return 0;
    }
    if (takeTurnOrWait(request)) serveTurn(std::move(request));
    return 0;
}
