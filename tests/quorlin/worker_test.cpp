// The worker behind the exports, driven through a fake dialog layer: no window is needed unless a
// test stands one in for an open dialog. The fake dialogs run where real ones do: on the library's
// dialog thread.

#include <windows.h>

#include <gtest/gtest.h>

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

#include "path_list.h"
#include "win_dialog_thread.h"
#include "win_dialog_worker.h"

namespace {

using namespace std::chrono_literals;

// How long a test waits for something that must happen: a limit for a hung worker, not a
// stopwatch (a loaded machine under Wine can take seconds for a first window-system call).
constexpr auto kLimit = 60s;

// What the fake user does with one dialog.
struct Answer {
    Answer() = default;
    Answer(std::vector<std::wstring> chosen, INT_PTR modalResult = IDOK, bool window = false,
           std::shared_ptr<std::atomic<bool>> held = nullptr, std::function<void()> whileOpen = {})
        : paths(std::move(chosen)),
          result(modalResult),
          showWindow(window),
          hold(std::move(held)),
          duringDialog(std::move(whileOpen)) {}

    std::vector<std::wstring> paths;
    INT_PTR result = IDOK;
    bool showWindow = false;  // stand a window with the dialog's title in for the dialog
    std::shared_ptr<std::atomic<bool>> hold;  // keep the dialog open while set
    std::function<void()> duringDialog;       // what the user does meanwhile
};

// What a dialog looked like when it ran.
struct Shown {
    std::wstring title;
    bool picksFolders;
    DWORD flags;
    DWORD maxFile;
};

std::mutex fakeMutex;
std::deque<Answer> answers;
std::vector<Shown> shown;

class FakeDialog : public CFileDialog {
public:
    FakeDialog(CFileDialog& real, Answer answer)
        : CFileDialog(real.picksFolders() ? TRUE : FALSE),
          answer_(std::move(answer)),
          picksFolders_(real.picksFolders()) {
        m_ofn.Flags = real.GetOFN().Flags;
    }

    INT_PTR DoModal() override {
        {
            const std::lock_guard<std::mutex> guard(fakeMutex);
            shown.push_back({m_ofn.lpstrTitle, picksFolders_, m_ofn.Flags, m_ofn.nMaxFile});
        }
        HWND window = nullptr;
        if (answer_.showWindow) {
            window = CreateWindowExW(0, L"STATIC", m_ofn.lpstrTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                                     100, 100, nullptr, nullptr, nullptr, nullptr);
        }
        if (answer_.duringDialog) answer_.duringDialog();
        // keep answering messages, as a real modal dialog does
        while (answer_.hold && *answer_.hold) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(5);
        }
        if (window != nullptr) DestroyWindow(window);
        PathListWriter writer(m_ofn.lpstrFile, m_ofn.nMaxFile);
        for (const std::wstring& path : answer_.paths) {
            if (!writer.append(path)) return IDCANCEL;
        }
        return answer_.result;
    }

private:
    Answer answer_;
    bool picksFolders_;
};

std::unique_ptr<CFileDialog> makeFakeDialog(DialogKind kind) {
    Answer answer;
    answer.result = IDCANCEL;
    {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        if (!answers.empty()) {
            answer = answers.front();
            answers.pop_front();
        }
    }
    const std::unique_ptr<CFileDialog> real = makeDialog(kind);
    return std::make_unique<FakeDialog>(*real, std::move(answer));
}

// One delivery to a callback.
struct Delivery {
    std::string directory;
    std::vector<std::string> names;
    DWORD threadId;
};

// Collects deliveries of any number of requests, in order.
class Deliveries {
public:
    DialogCallback callback(int id) {
        return [this, id](const std::string& directory, const std::vector<std::string>& names) {
            const std::lock_guard<std::mutex> guard(mutex_);
            byId_[id].push_back({directory, names, GetCurrentThreadId()});
            changed_.notify_all();
        };
    }

    // Waits until count deliveries arrived in all; false on time-out.
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kLimit, [&] { return total() >= count; });
    }

    std::vector<Delivery> of(int id) {
        const std::lock_guard<std::mutex> guard(mutex_);
        return byId_[id];
    }

private:
    std::size_t total() const {
        std::size_t n = 0;
        for (const auto& entry : byId_) n += entry.second.size();
        return n;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<int, std::vector<Delivery>> byId_;
};

// Windows exist only with a display (Xvfb here); without one the tests that need them skip.
bool canCreateWindows() {
    const HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr);
    if (probe == nullptr) return false;
    DestroyWindow(probe);
    return true;
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
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
        const std::lock_guard<std::mutex> guard(fakeMutex);
        answers.clear();
        shown.clear();
        setDialogFactory(&makeFakeDialog);
    }
    void TearDown() override {
        // workers and icon watchers must be gone before the next test or the process exit
        EXPECT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
        setDialogFactory(nullptr);
    }

    static void answer(Answer a) {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        answers.push_back(std::move(a));
    }
    static std::vector<Shown> shownDialogs() {
        const std::lock_guard<std::mutex> guard(fakeMutex);
        return shown;
    }
};

struct KindCase {
    DialogKind kind;
    bool isChinese;
    const wchar_t* title;
    bool picksFolders;
    DWORD flags;
    std::vector<std::wstring> paths;
    std::string directory;
    std::vector<std::string> names;
};

TEST_F(DialogWorker, Request_ShowsTitledDialogAndDeliversSelection_ForEachKindAndLanguage) {
    const DWORD files =
        OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
    const DWORD folders = OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST;
    const std::vector<std::wstring> twoFiles = {L"C:\\work\\a.txt", L"C:/work/b.txt"};
    const std::vector<std::string> twoNames = {"a.txt", "b.txt"};
    const KindCase cases[] = {
        {UploadFiles, false, L"Choose Files", false, files, twoFiles, "C:\\work", twoNames},
        {UploadFiles, true, L"选择要上传的文件", false, files, twoFiles, "C:\\work", twoNames},
        {UploadFolders,
         false,
         L"Choose Directories",
         true,
         folders,
         {L"D:\\data\\in"},
         "D:\\data",
         {"in"}},
        {UploadFolders,
         true,
         L"选择要上传的文件夹",
         true,
         folders,
         {L"D:\\数据"},
         "D:",
         {u8"数据"}},
        {SavePath,
         false,
         L"Choose Save Path",
         true,
         folders,
         {L"D:\\data\\out"},
         "D:\\data\\out",
         {"out"}},
        {SavePath, true, L"选择保存路径", true, folders, {L"D:\\"}, "D:\\", {""}},
        {TransferFiles, false, L"Choose Files", false, files, {L"C:\\x.txt"}, "C:", {"x.txt"}},
        {TransferFiles, true, L"选择要传输的文件", false, files, twoFiles, "C:\\work", twoNames},
        {TransferFolders,
         false,
         L"Choose Directories",
         true,
         folders,
         {L"D:\\data\\in", L"D:\\data\\out"},
         "D:\\data",
         {"in", "out"}},
        {TransferFolders,
         true,
         L"选择要传输的文件夹",
         true,
         folders,
         {L"D:\\data\\in"},
         "D:\\data",
         {"in"}},
    };
    Deliveries deliveries;
    int id = 0;
    for (const KindCase& c : cases) {
        SCOPED_TRACE(id);
        answer({c.paths});
        requestDialog(c.kind, c.isChinese, deliveries.callback(id));
        ASSERT_TRUE(deliveries.waitFor(static_cast<std::size_t>(id) + 1));
        const std::vector<Delivery> got = deliveries.of(id);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].directory, c.directory);
        EXPECT_EQ(got[0].names, c.names);
        const Shown dialog = shownDialogs().at(static_cast<std::size_t>(id));
        EXPECT_EQ(dialog.title, c.title);
        EXPECT_EQ(dialog.picksFolders, c.picksFolders);
        EXPECT_EQ(dialog.flags, c.flags);
        EXPECT_EQ(dialog.maxFile, 1300000u);
        EXPECT_EQ(activeDialogTitle(), c.title);
        ++id;
    }
}

TEST_F(DialogWorker, Request_DeliversEmptyOnce_WhenCancelledOrFailed) {
    Deliveries deliveries;
    answer({{L"C:\\work\\a.txt"}, IDCANCEL});
    answer({{}, IDABORT});
    requestDialog(UploadFiles, false, deliveries.callback(1));
    ASSERT_TRUE(deliveries.waitFor(1));
    requestDialog(SavePath, false, deliveries.callback(2));
    ASSERT_TRUE(deliveries.waitFor(2));
    for (const int id : {1, 2}) {
        const std::vector<Delivery> got = deliveries.of(id);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].directory, "");
        EXPECT_TRUE(got[0].names.empty());
    }
}

TEST_F(DialogWorker, Request_DeliversEmpty_WhenSaveCollectionYieldsNoName) {
    Deliveries deliveries;
    answer({{L"nothing", L"here"}});
    requestDialog(SavePath, true, deliveries.callback(1));
    ASSERT_TRUE(deliveries.waitFor(1));
    const std::vector<Delivery> got = deliveries.of(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].directory, "");
    EXPECT_TRUE(got[0].names.empty());
}

TEST_F(DialogWorker, Request_ReopensUploadFolderDialogAndDeliversOnce_WhenDriveRootChosen) {
    for (const bool isChinese : {false, true}) {
        SCOPED_TRACE(isChinese);
        {
            const std::lock_guard<std::mutex> guard(fakeMutex);
            shown.clear();
        }
        Deliveries deliveries;
        answer({{L"D:\\data\\in", L"E:\\"}});
        answer({{L"D:\\data\\in"}});
        requestDialog(TransferFolders, isChinese, deliveries.callback(1));
        ASSERT_TRUE(deliveries.waitFor(1));
        ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
        const std::vector<Delivery> got = deliveries.of(1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].directory, "D:\\data");
        EXPECT_EQ(got[0].names, std::vector<std::string>{"in"});
        const std::vector<Shown> dialogs = shownDialogs();
        ASSERT_EQ(dialogs.size(), 2u);
        EXPECT_EQ(dialogs[0].title, isChinese ? L"选择要传输的文件夹" : L"Choose Directories");
        EXPECT_EQ(dialogs[1].title, isChinese ? L"选择要上传的文件夹" : L"Choose Directories");
        EXPECT_TRUE(dialogs[1].picksFolders);
    }
}

TEST_F(DialogWorker, Request_DeliversToItsOwnCopy_WhenHostCallbackDestroyedAtOnce) {
    auto hold = std::make_shared<std::atomic<bool>>(true);
    answer({{L"C:\\work\\a.txt"}, IDOK, false, hold});
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
    *hold = false;
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }));
    ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
    EXPECT_TRUE(watch.expired());  // released together with the request
    EXPECT_EQ(calls, 1);
}

TEST_F(DialogWorker, Callback_RunsOnceOnWorkerThread_NeverOnCallingThread) {
    Deliveries deliveries;
    for (int id = 0; id < 8; ++id) {
        answer({{L"C:\\work\\a.txt"}, id % 2 == 0 ? IDOK : IDCANCEL});
        requestDialog(id % 2 == 0 ? UploadFiles : SavePath, false, deliveries.callback(id));
    }
    ASSERT_TRUE(deliveries.waitFor(8));
    ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
    for (int id = 0; id < 8; ++id) {
        const std::vector<Delivery> got = deliveries.of(id);
        ASSERT_EQ(got.size(), 1u) << id;
        EXPECT_NE(got[0].threadId, GetCurrentThreadId());
    }
}

TEST_F(DialogWorker, Requests_DeliverOneAfterAnother_WhileCallbackRuns) {
    std::mutex mutex;
    std::vector<std::string> events;
    const auto callback = [&](const char* who) {
        return [&, who](const std::string&, const std::vector<std::string>&) {
            {
                const std::lock_guard<std::mutex> guard(mutex);
                events.push_back(std::string("start ") + who);
            }
            std::this_thread::sleep_for(150ms);  // a slow host, to give the other a chance
            const std::lock_guard<std::mutex> guard(mutex);
            events.push_back(std::string("end ") + who);
        };
    };
    answer({{L"C:\\work\\a.txt"}});
    answer({{L"C:\\work\\b.txt"}});
    requestDialog(UploadFiles, false, callback("1"));
    requestDialog(TransferFiles, false, callback("2"));
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard<std::mutex> guard(mutex);
        return events.size() == 4;
    }));
    ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
    const std::string first = events[0].substr(6);
    const std::string second = first == "1" ? "2" : "1";
    EXPECT_EQ(events, (std::vector<std::string>{"start " + first, "end " + first, "start " + second,
                                                "end " + second}));
    EXPECT_EQ(shownDialogs().size(), 2u);
}

TEST_F(DialogWorker, Request_IsAnsweredEmptyAtOnce_WhileAnotherDialogIsOpen) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    auto hold = std::make_shared<std::atomic<bool>>(true);
    answer({{L"C:\\work\\a.txt"}, IDOK, true, hold});
    Deliveries deliveries;
    requestDialog(UploadFiles, false, deliveries.callback(1));
    ASSERT_TRUE(waitUntil([] { return FindWindowW(nullptr, L"Choose Files") != nullptr; }))
        << "the stand-in window did not appear";

    requestDialog(SavePath, true, deliveries.callback(2));
    ASSERT_TRUE(deliveries.waitFor(1));
    const std::vector<Delivery> refused = deliveries.of(2);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].directory, "");
    EXPECT_TRUE(refused[0].names.empty());
    EXPECT_EQ(activeDialogTitle(), L"Choose Files");
    EXPECT_EQ(shownDialogs().size(), 1u);

    *hold = false;
    ASSERT_TRUE(deliveries.waitFor(2));
    const std::vector<Delivery> first = deliveries.of(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].directory, "C:\\work");
    EXPECT_EQ(first[0].names, std::vector<std::string>{"a.txt"});
}

TEST_F(DialogWorker, ActivateDialogWindow_BringsOpenDialogToFront) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    auto hold = std::make_shared<std::atomic<bool>>(true);
    answer({{}, IDCANCEL, true, hold});
    Deliveries deliveries;
    requestDialog(SavePath, false, deliveries.callback(1));
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = FindWindowW(nullptr, L"Choose Save Path")); }));
    const HWND other = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                       nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    activateDialogWindow();
    EXPECT_EQ(GetForegroundWindow(), dialog);
    DestroyWindow(other);
    *hold = false;
    ASSERT_TRUE(deliveries.waitFor(1));
}

// A thread with a visible window of its own that answers messages, as another program's window.
struct WindowThread {
    explicit WindowThread(const wchar_t* title) {
        thread = std::thread([this, title] {
            window = CreateWindowExW(0, L"STATIC", title, WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                     nullptr, nullptr, nullptr, nullptr);
            id = GetCurrentThreadId();  // after the window: the constructor waits for it
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        });
        while (id == 0) Sleep(1);
    }
    ~WindowThread() {
        PostThreadMessageW(id, WM_QUIT, 0, 0);
        thread.join();
    }
    HWND window = nullptr;
    std::atomic<DWORD> id{0};
    std::thread thread;
};

TEST_F(DialogWorker, Requests_WaitInLineWithoutThreads_AndAreServedInOrder_WhileDialogIsOpen) {
    auto hold = std::make_shared<std::atomic<bool>>(true);
    answer({{L"C:\\work\\first.txt"}, IDOK, false, hold});
    std::mutex mutex;
    std::vector<std::string> delivered;
    const auto callback = [&](std::string tag) {
        return [&, tag](const std::string&, const std::vector<std::string>& names) {
            const std::lock_guard<std::mutex> guard(mutex);
            delivered.push_back(tag + (names.empty() ? "" : " " + names[0]));
        };
    };
    requestDialog(UploadFiles, false, callback("open"));
    ASSERT_TRUE(waitUntil([] { return shownDialogs().size() == 1; }));
    std::vector<std::string> expected = {"open first.txt"};
    for (int i = 0; i < 20; ++i) {
        answer({{L"C:\\work\\" + std::to_wstring(i) + L".txt"}});
        EXPECT_TRUE(
            requestDialog(i % 2 ? TransferFiles : SavePath, false, callback(std::to_string(i))));
        expected.push_back(std::to_string(i) + " " + std::to_string(i) + ".txt");
    }
    // no thread, no result buffer for a request in line: only the open dialog's worker runs
    EXPECT_EQ(waitingDialogRequests(), 20);
    EXPECT_TRUE(waitUntil([] { return runningDialogThreads() == 1; }));

    *hold = false;
    ASSERT_TRUE(waitUntil([&] {
        const std::lock_guard<std::mutex> guard(mutex);
        return delivered.size() == expected.size();
    }));
    ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
    EXPECT_EQ(delivered, expected);
    EXPECT_EQ(waitingDialogRequests(), 0);
}

TEST_F(DialogWorker, Callback_ThrowingEndsOnlyItsRequest_AndNextDialogOpens) {
    const std::function<void()> throwers[] = {[] { throw std::runtime_error("host"); },
                                              [] { throw 42; }};
    Deliveries deliveries;
    int id = 0;
    for (const auto& hostThrows : throwers) {
        SCOPED_TRACE(id);
        std::atomic<bool> called{false};
        answer({{L"C:\\work\\a.txt"}});
        requestDialog(UploadFiles, false, [&](const std::string&, const std::vector<std::string>&) {
            called = true;
            hostThrows();
        });
        ASSERT_TRUE(waitUntil([&] { return called.load(); }));
        answer({{L"C:\\work\\b.txt"}});
        requestDialog(TransferFiles, false, deliveries.callback(id));
        ASSERT_TRUE(deliveries.waitFor(static_cast<std::size_t>(id) + 1));
        EXPECT_EQ(deliveries.of(id)[0].names, std::vector<std::string>{"b.txt"});
        ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
        ++id;
    }
}

TEST_F(DialogWorker, InputAttachment_IsUndoneForTheAttachedThread_WhenAnotherCameToFront) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    const WindowThread first(L"first in front");
    const WindowThread second(L"second in front");
    SetForegroundWindow(first.window);  // another thread's window comes to the front in a while
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == first.window; }));
    // the dialog attaches the thread in front (first); the user then brings second to the front
    answer({{}, IDCANCEL, false, nullptr, [&] { SetForegroundWindow(second.window); }});
    Deliveries deliveries;
    requestDialog(SavePath, false, deliveries.callback(1));
    ASSERT_TRUE(deliveries.waitFor(1));
    ASSERT_TRUE(waitUntil([&] { return GetForegroundWindow() == second.window; }));
    // detaching a pair that is not attached fails: neither thread shares input any more
    EXPECT_FALSE(AttachThreadInput(first.id, dialogThreadId(), FALSE));
    EXPECT_FALSE(AttachThreadInput(second.id, dialogThreadId(), FALSE));
}

}  // namespace

namespace {

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

TEST_F(DialogWorker, IconWatcher_SetsSmallIconAndIconIsReleased_AfterDialogCloses) {
    if (!canCreateWindows()) GTEST_SKIP() << "needs a display";
    const IconFile iconFile;
    auto hold = std::make_shared<std::atomic<bool>>(true);
    answer({{}, IDCANCEL, true, hold});
    Deliveries deliveries;
    requestDialog(UploadFiles, true, deliveries.callback(1));
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

    *hold = false;
    ASSERT_TRUE(deliveries.waitFor(1));
    ASSERT_TRUE(waitUntil([] { return runningDialogThreads() == 0; }));
    EXPECT_FALSE(GetIconInfo(icon, &info));
}

TEST(FolderDialogLayer, GetNextPathName_GivesEveryPathWhole_IncludingDriveRootsAndLongPaths) {
    const std::vector<std::wstring> paths = {L"C:\\", L"D:\\", L"E:\\" + std::wstring(400, L'x'),
                                             L"F:/data/in"};
    std::vector<wchar_t> buffer(1000);
    CFolderPickerDialog dialog(nullptr, OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST);
    dialog.GetOFN().lpstrFile = buffer.data();
    dialog.GetOFN().nMaxFile = static_cast<DWORD>(buffer.size());
    PathListWriter writer(buffer.data(), buffer.size());
    for (const std::wstring& path : paths) ASSERT_TRUE(writer.append(path));

    std::vector<std::wstring> read;
    std::vector<int> replaced;
    for (POSITION position = dialog.GetStartPosition(); position != nullptr;) {
        CString path = dialog.GetNextPathName(position);
        replaced.push_back(path.Replace(L'/', L'\\'));
        read.emplace_back(path.GetString(), static_cast<std::size_t>(path.GetLength()));
    }
    EXPECT_EQ(read, (std::vector<std::wstring>{L"C:\\", L"D:\\", paths[2], L"F:\\data\\in"}));
    EXPECT_EQ(replaced, (std::vector<int>{0, 0, 0, 2}));
}

}  // namespace
