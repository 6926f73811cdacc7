// Prints how long a dialog export takes to put its dialog window on screen, next to a plain
// IFileOpenDialog::Show (with the options of the library's file dialogs) from a thread of a
// trivial program that is already running in its apartment, alternating the two in one run; and
// how long each takes to answer once cancelled. Needs a display (run it under
// scripts/with-xvfb.sh). Usage: quorlin_show_bench [rounds, 50]

#include <windows.h>

#include <shobjidl.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "quorlin.h"

namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Waits, polling each millisecond, until a visible top-level window bears the title.
HWND waitShown(const wchar_t* title) {
    for (;;) {
        const HWND window = FindWindowW(nullptr, title);
        if (window != nullptr && IsWindowVisible(window)) return window;
        Sleep(1);
    }
}

// A flag one thread raises and another waits for.
class Signal {
public:
    void raise() {
        const std::lock_guard<std::mutex> guard(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return raised_; });
        raised_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

constexpr wchar_t kPlainTitle[] = L"Plain Dialog";

// The trivial program's thread: in its apartment already, shows a plain dialog on request.
class PlainDialogThread {
public:
    PlainDialogThread() : thread_([this] { run(); }) {}
    ~PlainDialogThread() {
        stop_ = true;
        request_.raise();
        thread_.join();
    }
    void show() { request_.raise(); }
    void waitClosed() { closed_.wait(); }

private:
    void run() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (;;) {
            request_.wait();
            if (stop_) break;
            IFileOpenDialog* dialog = nullptr;
            if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_PPV_ARGS(&dialog)))) {
                FILEOPENDIALOGOPTIONS options = 0;  // as the library's file dialogs have them
                dialog->GetOptions(&options);
                dialog->SetOptions(options | FOS_FORCEFILESYSTEM | FOS_ALLOWMULTISELECT |
                                   FOS_FILEMUSTEXIST | FOS_OVERWRITEPROMPT);
                dialog->SetTitle(kPlainTitle);
                dialog->Show(nullptr);
                dialog->Release();
            }
            closed_.raise();
        }
        CoUninitialize();
    }

    Signal request_;
    Signal closed_;
    bool stop_ = false;
    std::thread thread_;
};

struct Round {
    double shown;
    double answered;  // from the cancel to the end of Show, or to the callback
};

Round plainRound(PlainDialogThread& plain) {
    const Clock::time_point start = Clock::now();
    plain.show();
    const HWND window = waitShown(kPlainTitle);
    const Clock::time_point shown = Clock::now();
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    plain.waitClosed();
    return {milliseconds(shown - start), milliseconds(Clock::now() - shown)};
}

Round exportRound() {
    Signal answered;
    const Clock::time_point start = Clock::now();
    showFilesDialog(false,
                    [&](const std::string&, const std::vector<std::string>&) { answered.raise(); });
    const HWND window = waitShown(L"Choose Files");
    const Clock::time_point shown = Clock::now();
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    answered.wait();
    // the window is gone before the next request looks for an open dialog
    while (FindWindowW(nullptr, L"Choose Files") != nullptr) Sleep(1);
    return {milliseconds(shown - start), milliseconds(Clock::now() - shown)};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 50;
    if (rounds <= 0) return 2;
    PlainDialogThread plain;
    plainRound(plain);  // both load the shell once before anything is timed
    exportRound();
    std::vector<double> plainShown, plainAnswered, exportShown, exportAnswered;
    for (int i = 0; i < rounds; ++i) {
        const Round p = plainRound(plain);
        const Round e = exportRound();
        plainShown.push_back(p.shown);
        plainAnswered.push_back(p.answered);
        exportShown.push_back(e.shown);
        exportAnswered.push_back(e.answered);
    }
    const double ratio = median(exportShown) / median(plainShown);
    std::printf(
        "dialog on screen, median of %d: export %.1f ms, plain Show %.1f ms, ratio %.2f "
        "(target <= 1.1)\n",
        rounds, median(exportShown), median(plainShown), ratio);
    std::printf(
        "answered after cancel, median: export callback %.1f ms, plain Show returns "
        "%.1f ms\n",
        median(exportAnswered), median(plainAnswered));
    return 0;
}
