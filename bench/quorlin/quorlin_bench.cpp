// Prints: the committed memory while 200 requests wait for one open dialog, the time for a dialog
// request to return to the host (also through the C++ export and the C interface, side by side),
// the time to collect 40,000 chosen items next to one plain UTF-16 to UTF-8 conversion of the same
// paths, and the memory before and after 1,000 answered requests. No dialog is shown: a fake
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

#include "quorlin.h"
#include "quorlin_c.h"
#include "win_dialog_worker.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kChosenItems = 40000;
constexpr int kRequests = 1000;
constexpr int kQueuedRequests = 200;

HRESULT cancelAtOnce(const DialogSettings&, SelectionCollector&) { return kDialogCancelled; }

// Stays open until released, as a dialog the user has not answered yet.
std::atomic<bool> holdDialogs{false};
std::atomic<int> dialogsShown{0};

HRESULT cancelWhenReleased(const DialogSettings&, SelectionCollector&) {
    ++dialogsShown;
    while (holdDialogs) Sleep(1);
    return kDialogCancelled;
}

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
    while (runningDeliveryThreads() != 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
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

// Requests that wait for their turn must not hold a thread each (about 1 MiB apiece under Wine).
// Wine keeps no peak of the committed memory: a sampler takes the highest value each millisecond
// while the requests are made and wait.
void benchQueuedRequests() {
    setDialogLayer(&cancelAtOnce);
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
    setDialogLayer(&cancelWhenReleased);
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
    setDialogLayer(nullptr);
}

void benchRequests() {
    setDialogLayer(&cancelAtOnce);
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
    setDialogLayer(nullptr);
}

// What a host sees of the two interfaces: the C++ export and quorlin_show, taken in turns in the
// same run so that both meet the same machine.
void benchExportsSideBySide() {
    setDialogLayer(&cancelAtOnce);
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
    setDialogLayer(nullptr);
}

// What the dialog layer does with a large selection: every chosen path goes to the collector.
void benchCollection() {
    std::vector<std::wstring> paths;
    std::wstring joined;  // the same paths in one text, for one plain conversion
    for (int i = 0; i < kChosenItems; ++i) {
        paths.push_back(L"C:\\data\\transfer\\file_报告_" + std::to_wstring(100000 + i) + L".txt");
        joined += paths.back();
        joined += L'\0';
    }
    const int units = static_cast<int>(joined.size());
    std::vector<double> collect;
    std::vector<double> convert;
    std::size_t names = 0;
    for (int round = 0; round < 7; ++round) {
        Clock::time_point start = Clock::now();
        SelectionCollector collector(UploadFiles);
        for (const std::wstring& path : paths) collector.add(path);
        names = collector.finish().names.size();
        collect.push_back(microseconds(Clock::now() - start));

        start = Clock::now();
        const int n =
            WideCharToMultiByte(CP_UTF8, 0, joined.data(), units, nullptr, 0, nullptr, nullptr);
        std::string plain(static_cast<std::size_t>(n), '\0');
        WideCharToMultiByte(CP_UTF8, 0, joined.data(), units, plain.data(), n, nullptr, nullptr);
        convert.push_back(microseconds(Clock::now() - start));
    }
    std::sort(collect.begin(), collect.end());
    std::sort(convert.begin(), convert.end());
    const double ratio = collect[collect.size() / 2] / convert[convert.size() / 2];
    std::printf(
        "%d chosen items (%d units), %zu names: collect median %.0f us; one WideCharToMultiByte "
        "of the same paths: median %.0f us; ratio %.2f\n",
        kChosenItems, units, names, collect[collect.size() / 2], convert[convert.size() / 2],
        ratio);
}

}  // namespace

int main() {
    benchQueuedRequests();  // first, so that the process's peak is this one's
    benchRequests();
    benchExportsSideBySide();
    benchCollection();
    return 0;
}
