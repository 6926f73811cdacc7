// Prints: the committed memory while 200 requests wait for one open dialog, the time for a dialog
// request to return to the host (also through the C++ export and the C interface, side by side),
// the cost of collecting a selection that fills the result buffer next to one plain UTF-16 to UTF-8
// conversion, and the memory before and after 1,000 answered requests. No dialog is shown: a fake
// dialog layer answers at once, or when released.

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "path_list.h"
#include "quorlin.h"
#include "quorlin_c.h"
#include "win_dialog_worker.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kResultBufferUnits = 1300000;
constexpr int kRequests = 1000;
constexpr int kQueuedRequests = 200;

// Cancels at once, or picks the one path it was made with.
class InstantDialog : public CFileDialog {
public:
    InstantDialog() : CFileDialog(TRUE) {}
    INT_PTR DoModal() override { return IDCANCEL; }
};

std::unique_ptr<CFileDialog> makeInstantDialog(DialogKind) {
    return std::make_unique<InstantDialog>();
}

// Stays open until released, as a dialog the user has not answered yet.
std::atomic<bool> holdDialogs{false};
std::atomic<int> dialogsShown{0};

class HeldDialog : public CFileDialog {
public:
    HeldDialog() : CFileDialog(TRUE) {}
    INT_PTR DoModal() override {
        ++dialogsShown;
        while (holdDialogs) Sleep(1);
        return IDCANCEL;
    }
};

std::unique_ptr<CFileDialog> makeHeldDialog(DialogKind) { return std::make_unique<HeldDialog>(); }

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Calls one request and waits for its answer; the time until the call returned.
class Requester {
public:
    enum class Through { Worker, CppExport, CInterface };

    Clock::duration requestOnce(Through through = Through::Worker) {
        {
            const std::lock_guard<std::mutex> guard(mutex_);
            answered_ = false;
        }
        const auto callback = [this](const std::string&, const std::vector<std::string>&) {
            answer();
        };
        const Clock::time_point start = Clock::now();
        switch (through) {
            case Through::Worker:
                requestDialog(UploadFiles, false, callback);
                break;
            case Through::CppExport:
                showFilesDialog(false, callback);
                break;
            case Through::CInterface:
                quorlin_show(QUORLIN_UPLOAD_FILES, 0, &answerC, this);
                break;
        }
        const Clock::duration returned = Clock::now() - start;
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return answered_; });
        return returned;
    }

private:
    void answer() {
        const std::lock_guard<std::mutex> guard(mutex_);
        answered_ = true;
        changed_.notify_one();
    }
    static void answerC(void* requester, const char*, const char* const*, size_t) {
        static_cast<Requester*>(requester)->answer();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool answered_ = false;
};

void waitForIdle() {
    while (runningDialogThreads() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// Wine leaves PrivateUsage at 0; the page-file usage is the process's committed memory.
SIZE_T commitBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PagefileUsage;
}

double mebibytes(SIZE_T bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// Requests that wait for their turn must not hold a result buffer each (2.6 MB apiece), nor a
// thread each (about 1 MiB apiece under Wine). Wine keeps no peak of the committed memory: a
// sampler takes the highest value each millisecond while the requests are made and wait.
void benchQueuedRequests() {
    setDialogFactory(&makeInstantDialog);
    Requester requester;
    for (int i = 0; i < 20; ++i) requester.requestOnce();  // the dialog thread and thread pools
    waitForIdle();
    const SIZE_T before = commitBytes();

    std::atomic<bool> sampling{true};
    std::atomic<SIZE_T> highest{0};
    std::thread sampler([&] {
        while (sampling) {
            highest = std::max<SIZE_T>(highest, commitBytes());
            Sleep(1);
        }
    });
    setDialogFactory(&makeHeldDialog);
    holdDialogs = true;
    std::atomic<int> answered{0};
    for (int i = 0; i < kQueuedRequests; ++i) {
        requestDialog(UploadFiles, false,
                      [&](const std::string&, const std::vector<std::string>&) { ++answered; });
    }
    // one dialog open, every other request waiting for it
    while (dialogsShown == 0 || waitingDialogRequests() < kQueuedRequests - 1) Sleep(5);
    Sleep(500);
    const SIZE_T waiting = commitBytes();
    sampling = false;
    sampler.join();
    holdDialogs = false;
    while (answered < kQueuedRequests) Sleep(5);
    waitForIdle();
    std::printf(
        "committed memory, idle: %.1f MiB; %d requests, one dialog open and the rest waiting: "
        "%.1f MiB (+%.1f MiB), highest while they were made and waited %.1f MiB (+%.1f MiB, "
        "target < +50 MiB); all answered: %.1f MiB\n",
        mebibytes(before), kQueuedRequests, mebibytes(waiting), mebibytes(waiting - before),
        mebibytes(highest), mebibytes(highest - before), mebibytes(commitBytes()));
    setDialogFactory(nullptr);
}

void benchRequests() {
    setDialogFactory(&makeInstantDialog);
    Requester requester;
    for (int i = 0; i < 50; ++i) requester.requestOnce();  // warm up the runtime's thread pools
    waitForIdle();
    const SIZE_T before = commitBytes();

    std::vector<double> times;
    for (int i = 0; i < kRequests; ++i) times.push_back(microseconds(requester.requestOnce()));
    waitForIdle();
    std::sort(times.begin(), times.end());
    std::printf("request return time over %d calls: median %.1f us, worst %.1f us\n", kRequests,
                times[times.size() / 2], times.back());
    std::printf("committed memory before: %zu KiB\n", before / 1024);
    std::printf("after 1000 cancelled requests: %zu KiB\n", commitBytes() / 1024);
    for (int round = 2; round <= 3; ++round) {
        for (int i = 0; i < kRequests; ++i) requester.requestOnce();
        waitForIdle();
        std::printf("after %d000 cancelled requests: %zu KiB\n", round, commitBytes() / 1024);
    }
    setDialogFactory(nullptr);
}

// What a host sees of the two interfaces: the C++ export and quorlin_show, taken in turns in the
// same run so that both meet the same machine.
void benchExportsSideBySide() {
    setDialogFactory(&makeInstantDialog);
    Requester requester;
    for (int i = 0; i < 50; ++i) requester.requestOnce(Requester::Through::CInterface);
    waitForIdle();
    std::vector<double> cxx;
    std::vector<double> c;
    for (int i = 0; i < kRequests; ++i) {
        cxx.push_back(microseconds(requester.requestOnce(Requester::Through::CppExport)));
        c.push_back(microseconds(requester.requestOnce(Requester::Through::CInterface)));
    }
    waitForIdle();
    std::sort(cxx.begin(), cxx.end());
    std::sort(c.begin(), c.end());
    const double cxxMedian = cxx[cxx.size() / 2];
    const double cMedian = c[c.size() / 2];
    std::printf(
        "return time over %d calls each, in turns: showFilesDialog median %.1f us (worst %.1f), "
        "quorlin_show median %.1f us (worst %.1f); ratio %.2f (target <= 1)\n",
        kRequests, cxxMedian, cxx.back(), cMedian, c.back(), cMedian / cxxMedian);
    setDialogFactory(nullptr);
}

void benchCollection() {
    std::vector<wchar_t> buffer(kResultBufferUnits);
    PathListWriter writer(buffer.data(), buffer.size());
    std::size_t count = 0;
    for (;; ++count) {
        const std::wstring path =
            L"C:\\data\\transfer\\file_报告_" + std::to_wstring(100000 + count) + L".txt";
        if (!writer.append(path)) break;
    }
    const int usedUnits = static_cast<int>(writer.used());

    CFileDialog dialog(TRUE);
    dialog.GetOFN().lpstrFile = buffer.data();
    dialog.GetOFN().nMaxFile = static_cast<DWORD>(buffer.size());

    std::vector<double> collect;
    std::vector<double> convert;
    std::size_t names = 0;
    for (int round = 0; round < 7; ++round) {
        Clock::time_point start = Clock::now();
        const Selection selection = collectSelection(dialog, UploadFiles);
        collect.push_back(microseconds(Clock::now() - start));
        names = selection.names.size();

        start = Clock::now();
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, buffer.data(), usedUnits, nullptr, 0, nullptr, nullptr);
        std::string plain(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, buffer.data(), usedUnits, plain.data(), n, nullptr,
                            nullptr);
        convert.push_back(microseconds(Clock::now() - start));
    }
    std::sort(collect.begin(), collect.end());
    std::sort(convert.begin(), convert.end());
    const double ratio = collect[collect.size() / 2] / convert[convert.size() / 2];
    std::printf("full result buffer: %zu paths, %d units, %zu names collected\n", count, usedUnits,
                names);
    std::printf(
        "collect and convert: median %.0f us; one WideCharToMultiByte of the buffer: "
        "median %.0f us; ratio %.2f (target <= 3)\n",
        collect[collect.size() / 2], convert[convert.size() / 2], ratio);
}

}  // namespace

int main() {
    benchQueuedRequests();  // first, so that the process's peak is this one's
    benchRequests();
    benchExportsSideBySide();
    benchCollection();
    return 0;
}
