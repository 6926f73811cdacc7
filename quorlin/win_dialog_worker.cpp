#include "win_dialog_worker.h"

#include <process.h>
#include <shellapi.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "win_handles.h"

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

void attachInputOfForegroundThread(BOOL attach) {
    const DWORD foregroundThread = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    AttachThreadInput(foregroundThread, GetCurrentThreadId(), attach);
}

void deliver(const DialogRequest& request, const std::string& directory,
             const std::vector<std::string>& names) {
    if (request.callback) request.callback(directory, names);
}

// The worker and the watcher share the icon; whoever finishes last destroys it.
void iconWatcher(std::shared_ptr<UniqueIcon> icon) {
    const RunningThread running;
    std::this_thread::sleep_for(kIconDelay);
    const std::wstring title = activeDialogTitle();
    const HWND window = FindWindowW(nullptr, title.c_str());
    if (window != nullptr) {
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon->get()));
    }
}

// Installs the request's result buffer in the dialog and puts the dialog's own back when the
// dialog closes.
class ResultBuffer {
public:
    explicit ResultBuffer(OPENFILENAMEW& ofn)
        : ofn_(ofn),
          savedFile_(ofn.lpstrFile),
          savedMaxFile_(ofn.nMaxFile),
          units_(kResultBufferUnits, L'\0') {
        ofn_.lpstrFile = units_.data();
        ofn_.nMaxFile = kResultBufferUnits;
    }
    ~ResultBuffer() { release(); }
    ResultBuffer(const ResultBuffer&) = delete;
    ResultBuffer& operator=(const ResultBuffer&) = delete;

    void release() {
        if (units_.empty()) return;
        ofn_.lpstrFile = savedFile_;
        ofn_.nMaxFile = savedMaxFile_;
        std::vector<wchar_t>().swap(units_);
    }

private:
    OPENFILENAMEW& ofn_;
    LPWSTR savedFile_;
    DWORD savedMaxFile_;
    std::vector<wchar_t> units_;
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

bool requestDialog(DialogKind kind, bool isChinese, DialogCallback callback) {
    auto request =
        std::make_unique<DialogRequest>(DialogRequest{kind, isChinese, std::move(callback)});
    ++runningThreads;
    const UniqueHandle thread(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &dialogWorker, request.get(), 0, nullptr)));
    if (!thread) {
        --runningThreads;
        return false;
    }
    request.release();  // the worker owns it now
    return true;
}

void activateDialogWindow() {
    const std::wstring title = activeDialogTitle();
    if (title.empty()) return;
    const HWND window = FindWindowW(nullptr, title.c_str());
    if (window != nullptr) bringToFront(window);
}

unsigned __stdcall dialogWorker(void* argument) {
    const RunningThread running;
    std::unique_ptr<DialogRequest> request(static_cast<DialogRequest*>(argument));
    const auto afx = AfxWinInit(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), 0);
    if (!afx) return 0;

    std::unique_ptr<CFileDialog> dialog = dialogFactory.load()(request->kind);
    OPENFILENAMEW& ofn = dialog->GetOFN();
    ofn.lpstrTitle = dialogTitle(request->kind, request->isChinese);
    ResultBuffer buffer(ofn);
    auto icon = std::make_shared<UniqueIcon>(ExtractIconW(nullptr, L"images\\UI.ico", 0));

    const std::wstring openTitle = activeDialogTitle();
    if (!openTitle.empty()) {
        const HWND openWindow = FindWindowW(nullptr, openTitle.c_str());
        if (openWindow != nullptr) {
            bringToFront(openWindow);
            deliver(*request, std::string(), {});
            return 0;
        }
    }

    std::unique_lock<std::mutex> lock(dialogLock);
    publishActiveDialogTitle(ofn.lpstrTitle);
    attachInputOfForegroundThread(TRUE);
    ++runningThreads;
    std::thread(iconWatcher, icon).detach();

    Selection selection;
    if (dialog->DoModal() == IDOK) selection = collectSelection(*dialog, request->kind);
    buffer.release();
    dialog.reset();
    icon.reset();
    attachInputOfForegroundThread(FALSE);

    if (selection.reopenFolderDialog) {
        DialogCallback callback = request->callback;
        requestDialog(UploadFolders, request->isChinese, std::move(callback));
        request.reset();
        return 0;
    }
    deliver(*request, selection.directory, selection.names);
    request.reset();
    return 0;
}
