#include "win_dialog_thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "win_afx.h"
#include "win_handles.h"
#include "win_module_thread.h"

namespace {

struct Job {
    const std::function<void()>* work;
    bool done = false;
};

// What a starting dialog thread tells the request that started it.
struct StartReport {
    std::mutex mutex;
    std::condition_variable changed;
    bool reported = false;
    bool ready = false;
    DWORD threadId = 0;
};

std::mutex startLock;  // one start at a time; the others wait for its outcome
std::atomic<DWORD> runningThreadId{0};
// Set when jobs were queued; the thread waits for it and for window messages at once, since
// messages posted to a thread's queue can be lost in a modal loop.
UniqueHandle jobsQueued;
std::mutex jobsLock;
std::condition_variable jobDone;
std::deque<Job*> jobs;

void runQueuedJobs() {
    for (;;) {
        Job* job = nullptr;
        {
            const std::lock_guard<std::mutex> guard(jobsLock);
            if (jobs.empty()) return;
            job = jobs.front();
            jobs.pop_front();
        }
        try {
            (*job->work)();
        } catch (...) {  // the thread serves every later dialog too
        }
        const std::lock_guard<std::mutex> guard(jobsLock);
        job->done = true;
        jobDone.notify_all();
    }
}

// Windows of the shell components that live in the apartment get their messages between dialogs.
[[noreturn]] void serveJobs() {
    const HANDLE queued = jobsQueued.get();
    for (;;) {
        const DWORD woken =
            MsgWaitForMultipleObjectsEx(1, &queued, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0) {
            runQueuedJobs();
            continue;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

unsigned __stdcall dialogThread(void* argument) {
    auto* report = static_cast<StartReport*>(argument);
    const auto afx = AfxWinInit(GetModuleHandleW(nullptr), nullptr, GetCommandLineW(), 0);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's message queue
    {
        // notified under the lock: the starter's report is gone as soon as it sees the outcome
        const std::lock_guard<std::mutex> guard(report->mutex);
        report->ready = afx != nullptr;
        report->threadId = GetCurrentThreadId();
        report->reported = true;
        report->changed.notify_all();
    }
    if (afx) serveJobs();
    return 0;
}

}  // namespace

bool startDialogThread() {
    const std::lock_guard<std::mutex> guard(startLock);
    if (runningThreadId != 0) return true;
    if (!jobsQueued) jobsQueued.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!jobsQueued) return false;
    StartReport report;
    if (!startModuleThread(&dialogThread, &report)) return false;
    std::unique_lock<std::mutex> lock(report.mutex);
    report.changed.wait(lock, [&] { return report.reported; });
    if (!report.ready) return false;
    runningThreadId = report.threadId;
    return true;
}

void runOnDialogThread(const std::function<void()>& work, const std::function<void()>& meanwhile) {
    Job job{&work};
    {
        const std::lock_guard<std::mutex> guard(jobsLock);
        jobs.push_back(&job);
    }
    SetEvent(jobsQueued.get());
    if (meanwhile) meanwhile();
    std::unique_lock<std::mutex> lock(jobsLock);
    jobDone.wait(lock, [&] { return job.done; });
}

DWORD dialogThreadId() { return runningThreadId; }
