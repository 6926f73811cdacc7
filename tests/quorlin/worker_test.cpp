// The worker behind the exports, driven through a fake dialog layer: no window is needed unless a
// test stands one in for an open dialog. The fake dialogs run where real ones do: on the library's
// dialog thread. What the chosen paths become is selection_test's; here, who is served when and
// on which thread.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "win_dialog_worker.h"

namespace {

using namespace std::chrono_literals;

// How long a test waits for something that must happen: a limit for a hung worker, not a
// stopwatch (a loaded machine under Wine can take seconds for a first window-system call).
constexpr auto kLimit = 60s;

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// What the fake user does with one dialog: confirms these paths, or cancels (or the dialog fails).
struct Answer {
    std::vector<std::wstring> paths;
    HRESULT result = S_OK;
};

// What happened, in order: "open <title>", "start <request> <first name or ->", "end <request>".
class EventLog {
public:
    void add(std::string event) {
        const std::lock_guard<std::mutex> guard(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> all() {
        const std::lock_guard<std::mutex> guard(mutex_);
        return events_;
    }
    bool contains(const std::string& event) {
        const std::lock_guard<std::mutex> guard(mutex_);
        return std::find(events_.begin(), events_.end(), event) != events_.end();
    }
    void clear() {
        const std::lock_guard<std::mutex> guard(mutex_);
        events_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<std::string> events_;
};

std::mutex fakeMutex;
std::deque<Answer> answers;
std::vector<DialogSettings> shown;
std::vector<DPI_AWARENESS> awarenessWhileShown;
EventLog events;
// The first dialog after a reset stays open while held, with a stand-in window if asked for.
std::atomic<bool> holdFirst{false};
std::atomic<bool> windowFirst{false};

HRESULT fakeDialog(const DialogSettings& settings, SelectionCollector& collector) {
    Answer answer{{}, E_FAIL};
    bool first = false;
    {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        shown.push_back(settings);
        awarenessWhileShown.push_back(
            GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()));
        first = shown.size() == 1;
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
    }
    events.add("open " + toUtf8(settings.title));
    HWND window = nullptr;
    if (first && windowFirst) {
        window = CreateWindowExW(0, L"STATIC", settings.title, WS_POPUP | WS_VISIBLE, 0, 0, 100,
                                 100, nullptr, nullptr, nullptr, nullptr);
    }
    // keep answering messages, as a real modal dialog does
    while (first && holdFirst) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(5);
    }
    if (window != nullptr) DestroyWindow(window);
    for (const std::wstring& path : answer.paths) {
        if (!collector.add(path)) break;
    }
    return answer.result;
}

// Set on the thread of the first request's callback while it runs.
thread_local bool inFirstCallback = false;

// A callback that logs its start and end, and the thread it ran on.
struct Callbacks {
    std::mutex mutex;
    std::map<int, DWORD> threads;
    std::map<int, bool> onFirstCallbackThread;
    std::function<void()> firstDoes;  // what the first request's callback does meanwhile

    DialogCallback make(int request) {
        return [this, request](const std::string&, const std::vector<std::string>& names) {
            events.add("start " + std::to_string(request) + " " +
                       (names.empty() ? "-" : names.front()));
            {
                const std::lock_guard<std::mutex> guard(mutex);
                threads[request] = GetCurrentThreadId();
                onFirstCallbackThread[request] = inFirstCallback;
            }
            if (request == 1 && firstDoes) {
                inFirstCallback = true;
                firstDoes();
                inFirstCallback = false;
            }
            std::this_thread::sleep_for(30ms);  // a slow host, to give another a chance
            events.add("end " + std::to_string(request));
        };
    }
};

// Windows exist only with a display (Xvfb here); without one the tests that need them skip.
bool canCreateWindows() {
    const HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

// The first window-system call of a fresh Wine process can take many seconds; it is made here,
// before any test, without a limit.
class WindowSystemWarmUp : public ::testing::Environment {
public:
    void SetUp() override { canCreateWindows(); }
};
const auto* const warmUp = ::testing::AddGlobalTestEnvironment(new WindowSystemWarmUp);

class DialogWorker : public ::testing::Test {
protected:
    void SetUp() override {
        {
            const std::lock_guard<std::mutex> guard(fakeMutex);
            answers.clear();
            shown.clear();
            awarenessWhileShown.clear();
        }
        events.clear();
        holdFirst = false;
        windowFirst = false;
        setDialogLayer(&fakeDialog);
    }
    void TearDown() override {
        holdFirst = false;
        // delivery threads must be gone before the next test or the process exit
        EXPECT_TRUE(waitUntil([] { return runningDeliveryThreads() == 0; }));
        setDialogLayer(nullptr);
    }

    static void answer(Answer a) {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        answers.push_back(std::move(a));
    }
    static std::vector<DialogSettings> shownDialogs() {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        return shown;
    }
};

TEST_F(DialogWorker, Request_ShowsDialogTitledAndSetUpForItsKindAndLanguage) {
    const FILEOPENDIALOGOPTIONS files =
        FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST | FOS_OVERWRITEPROMPT;
    const FILEOPENDIALOGOPTIONS folders =
        FOS_FORCEFILESYSTEM | FOS_PICKFOLDERS | FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST;
    const struct {
        DialogKind kind;
        bool isChinese;
        const wchar_t* title;
        FILEOPENDIALOGOPTIONS options;
    } cases[] = {
        {UploadFiles, false, L"Choose Files", files},
        {UploadFiles, true, L"选择要上传的文件", files},
        {UploadFolders, false, L"Choose Directories", folders},
        {UploadFolders, true, L"选择要上传的文件夹", folders},
        {SavePath, false, L"Choose Save Path", folders},
        {SavePath, true, L"选择保存路径", folders},
        {TransferFiles, false, L"Choose Files", files},
        {TransferFiles, true, L"选择要传输的文件", files},
        {TransferFolders, false, L"Choose Directories", folders},
        {TransferFolders, true, L"选择要传输的文件夹", folders},
    };
    Callbacks callbacks;
    int request = 0;
    std::map<DialogKind, GUID> remembered;  // the folder the system keeps, one for each kind
    for (const auto& c : cases) {
        SCOPED_TRACE(request);
        answer({{L"C:\\work\\a.txt"}});
        requestDialog(c.kind, c.isChinese, callbacks.make(++request));
        ASSERT_TRUE(waitUntil([&] { return events.contains("end " + std::to_string(request)); }));
        EXPECT_TRUE(events.contains("start " + std::to_string(request) + " a.txt"));
        const DialogSettings dialog = shownDialogs().back();
        EXPECT_EQ(std::wstring(dialog.title), c.title);
        EXPECT_EQ(dialog.options, c.options);
        EXPECT_EQ(lastDialogTitle(), c.title);
        const auto kind = remembered.emplace(c.kind, *dialog.clientGuid).first;
        EXPECT_TRUE(kind->second == *dialog.clientGuid) << "one GUID for both languages";
    }
    for (auto a = remembered.begin(); a != remembered.end(); ++a) {
        for (auto b = std::next(a); b != remembered.end(); ++b)
            EXPECT_FALSE(a->second == b->second);
    }
}

// Requests around a first dialog (Chinese, so that each kind's title differs): those made right
// after it, those made while its stand-in window is open, those its callback makes.
struct OrderCase {
    const char* label;
    DialogKind firstKind;
    std::vector<Answer> answers;  // dialog by dialog, as they open
    int afterFirst;
    int whileOpen;  // needs a display
    int fromCallback;
    std::vector<std::string> events;
};

const OrderCase kOrderCases[] = {
    {"back to back: first come first served, one callback at a time",
     UploadFiles,
     {{{L"C:\\w\\a.txt"}}, {{L"C:\\w\\b.txt"}}, {{L"C:\\w\\c.txt"}}},
     2,
     0,
     0,
     {"open 选择要上传的文件", "start 1 a.txt", "end 1", "open 选择要上传的文件", "start 2 b.txt",
      "end 2", "open 选择要上传的文件", "start 3 c.txt", "end 3"}},
    {"while a dialog is open: refused empty at once",
     SavePath,
     {{{L"D:\\out"}}},
     0,
     1,
     0,
     {"open 选择保存路径", "start 2 -", "end 2", "start 1 out", "end 1"}},
    {"from a callback: served once the callback has returned",
     UploadFiles,
     {{{L"C:\\w\\a.txt"}}, {{L"C:\\w\\b.txt"}, kDialogCancelled}},
     0,
     0,
     1,
     {"open 选择要上传的文件", "start 1 a.txt", "end 1", "open 选择要上传的文件", "start 2 -",
      "end 2"}},
    {"drive root: the folder dialog opens again ahead of the line, one callback",
     TransferFolders,
     {{{L"D:\\data\\in", L"E:\\"}}, {{L"D:\\data\\in"}}, {{L"C:\\w\\b.txt"}}},
     1,
     0,
     0,
     {"open 选择要传输的文件夹", "open 选择要上传的文件夹", "start 1 in", "end 1",
      "open 选择要上传的文件", "start 2 b.txt", "end 2"}},
};

TEST_F(DialogWorker, Requests_AreServedInTurn_AroundAnOpenDialog) {
    for (const OrderCase& c : kOrderCases) {
        SCOPED_TRACE(c.label);
        if (c.whileOpen > 0 && !canCreateWindows()) continue;  // needs a display
        SetUp();
        for (const Answer& a : c.answers) answer(a);
        holdFirst = true;
        windowFirst = c.whileOpen > 0;
        Callbacks callbacks;
        int next = 1;
        callbacks.firstDoes = [&] {
            for (int i = 0; i < c.fromCallback; ++i) {
                EXPECT_TRUE(requestDialog(UploadFiles, true, callbacks.make(++next)));
            }
        };
        const DialogCallback first = callbacks.make(1);
        ASSERT_TRUE(requestDialog(c.firstKind, true, first));
        for (int i = 0; i < c.afterFirst; ++i) {
            ASSERT_TRUE(requestDialog(UploadFiles, true, callbacks.make(++next)));
        }
        ASSERT_TRUE(waitUntil([] { return !shownDialogs().empty(); }));
        if (c.whileOpen > 0) {
            // a request is refused only once the dialog is visible, not as soon as it exists
            ASSERT_TRUE(waitUntil([] {
                const HWND window = findDialogWindow();
                return window != nullptr && IsWindowVisible(window);
            }));
        }
        // a request in line holds its record only: no thread of its own
        EXPECT_EQ(waitingDialogRequests(), c.afterFirst);
        EXPECT_EQ(runningDeliveryThreads(), 0);
        for (int i = 0; i < c.whileOpen; ++i) {
            ASSERT_TRUE(requestDialog(SavePath, false, callbacks.make(++next)));
            ASSERT_TRUE(waitUntil([&] { return events.contains("end " + std::to_string(next)); }));
        }
        EXPECT_EQ(shownDialogs().size(), 1u);
        holdFirst = false;
        ASSERT_TRUE(waitUntil([&] { return events.all().size() >= c.events.size(); }));
        ASSERT_TRUE(waitUntil([] { return runningDeliveryThreads() == 0; }));
        EXPECT_EQ(events.all(), c.events);
        EXPECT_EQ(waitingDialogRequests(), 0);
        // never on the host's thread, nor on the thread of the callback that made the request
        for (const auto& [request, thread] : callbacks.threads) {
            EXPECT_NE(thread, GetCurrentThreadId()) << request;
            EXPECT_FALSE(callbacks.onFirstCallbackThread[request]) << request;
        }
    }
}

TEST_F(DialogWorker, Request_DeliversEmptyOnce_WhenCancelledOrFailed) {
    Callbacks callbacks;
    answer({{L"C:\\work\\a.txt"}, kDialogCancelled});
    requestDialog(UploadFiles, false, callbacks.make(1));
    requestDialog(SavePath, false, callbacks.make(2));  // no answer: the dialog failed
    ASSERT_TRUE(waitUntil([] { return events.contains("end 2"); }));
    EXPECT_EQ(events.all(),
              (std::vector<std::string>{"open Choose Files", "start 1 -", "end 1",
                                        "open Choose Save Path", "start 2 -", "end 2"}));
}

TEST_F(DialogWorker, Request_DeliversToItsOwnCopy_WhenHostCallbackDestroyedAtOnce) {
    holdFirst = true;
    answer({{L"C:\\work\\a.txt"}});
    auto received = std::make_shared<std::vector<std::string>>();
    std::weak_ptr<std::vector<std::string>> watch = received;
    std::atomic<int> calls{0};
    {
        DialogCallback hostCallback = [received, &calls](const std::string& directory,
                                                         const std::vector<std::string>& names) {
            received->push_back(directory);
            received->insert(received->end(), names.begin(), names.end());
            ++calls;
        };
        requestDialog(UploadFiles, false, hostCallback);
        received.reset();
    }  // the host's object is gone; the request's copy keeps its state alive
    EXPECT_FALSE(watch.expired());
    holdFirst = false;
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_TRUE(waitUntil([&] { return watch.expired(); }));  // released together with the request
    EXPECT_EQ(calls, 1);
}

TEST_F(DialogWorker, Callback_ThrowingEndsOnlyItsRequest_AndNextDialogOpens) {
    const std::function<void()> throwers[] = {[] { throw std::runtime_error("host"); },
                                              [] { throw 42; }};
    Callbacks callbacks;
    int request = 0;
    for (const auto& hostThrows : throwers) {
        answer({{L"C:\\work\\a.txt"}});
        requestDialog(UploadFiles, false,
                      [&](const std::string&, const std::vector<std::string>&) { hostThrows(); });
        answer({{L"C:\\work\\b.txt"}});
        requestDialog(TransferFiles, false, callbacks.make(++request));
        ASSERT_TRUE(waitUntil([&] { return events.contains("end " + std::to_string(request)); }));
        EXPECT_TRUE(events.contains("start " + std::to_string(request) + " b.txt"));
    }
}

TEST_F(DialogWorker, ActivateDialogWindow_BringsOpenDialogToFront) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    holdFirst = true;
    windowFirst = true;
    Callbacks callbacks;
    requestDialog(SavePath, false, callbacks.make(1));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = findDialogWindow()); }));
    const HWND other = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                       nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    activateDialogWindow();
    EXPECT_EQ(GetForegroundWindow(), dialog);
    DestroyWindow(other);
    holdFirst = false;
    ASSERT_TRUE(waitUntil([] { return events.contains("end 1"); }));
}

// Wine makes every process per-monitor aware (and refuses the second version): this shows the
// dialog thread's awareness while a dialog is shown and the host's and callback's threads keeping
// theirs, not the change a DPI-unaware host on Windows would see.
TEST_F(DialogWorker, Dialog_ShownPerMonitorAware_WhileHostAndCallbackKeepTheirAwareness) {
    const DPI_AWARENESS_CONTEXT hostBefore = GetThreadDpiAwarenessContext();
    DPI_AWARENESS freshThread = DPI_AWARENESS_INVALID;
    std::thread([&] {
        freshThread = GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
    }).join();
    std::atomic<DPI_AWARENESS> inCallback{DPI_AWARENESS_INVALID};
    answer({{L"C:\\work\\a.txt"}});
    requestDialog(UploadFiles, false, [&](const std::string&, const std::vector<std::string>&) {
        inCallback = GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext());
    });
    ASSERT_TRUE(waitUntil([&] { return inCallback != DPI_AWARENESS_INVALID; }));
    {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        EXPECT_EQ(awarenessWhileShown, std::vector<DPI_AWARENESS>{DPI_AWARENESS_PER_MONITOR_AWARE});
    }
    EXPECT_EQ(inCallback, freshThread);
    EXPECT_TRUE(AreDpiAwarenessContextsEqual(GetThreadDpiAwarenessContext(), hostBefore));
}

// A 16x16 32-bit icon file, all red.
void writeIconFile(const std::filesystem::path& file) {
    std::string bytes;
    const auto put16 = [&](unsigned v) { bytes.append({char(v & 0xFF), char(v >> 8)}); };
    const auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const unsigned imageSize = 40 + 16 * 16 * 4 + 16 * 4;
    put16(0), put16(1), put16(1);                                // icon directory, one image
    bytes.append({16, 16, 0, 0}), put16(1), put16(32);           // 16x16, 32 bits per pixel
    put32(imageSize), put32(6 + 16);                             // size and offset of the image
    put32(40), put32(16), put32(32), put16(1), put16(32);        // bitmap header, double height
    put32(0), put32(0), put32(0), put32(0), put32(0), put32(0);  // no compression
    for (int i = 0; i < 16 * 16; ++i) bytes.append({0, 0, char(0xFF), char(0xFF)});
    bytes.append(16 * 4, '\0');  // AND mask: all opaque
    std::ofstream(file, std::ios::binary) << bytes;
}

// images\UI.ico in the current directory for the time of a test.
class IconFile {
public:
    IconFile() {
        std::filesystem::create_directory("images");
        writeIconFile("images/UI.ico");
    }
    ~IconFile() {
        std::error_code ignored;
        std::filesystem::remove("images/UI.ico", ignored);
        std::filesystem::remove("images", ignored);
    }
};

TEST_F(DialogWorker, Dialog_GetsSmallIcon_AndIconIsReleasedAfterItCloses) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    const IconFile iconFile;
    holdFirst = true;
    windowFirst = true;
    Callbacks callbacks;
    requestDialog(UploadFiles, true, callbacks.make(1));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = FindWindowW(nullptr, L"选择要上传的文件")); }));
    HICON icon = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        icon = reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0));
        return icon != nullptr;
    }));
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);

    holdFirst = false;
    ASSERT_TRUE(waitUntil([] { return events.contains("end 1"); }));
    EXPECT_FALSE(GetIconInfo(icon, &info));
}

}  // namespace
