#pragma once
// The one thread that shows every dialog of the library.
//
// Started by the first request, it prepares the dialog layer (its COM apartment) once and stays in
// that apartment for the life of the process. Under Wine the 64th COM apartment of a process that
// hands an object to COM (a file dialog's shell view does) waits for ever, so a thread and an
// apartment per dialog stalls a long-running host at its 64th dialog. The thread holds a reference
// to the library's module, so once it runs the library stays loaded until the process ends.

#include <windows.h>

#include <functional>

// Starts the dialog thread unless it runs already; false when it cannot be started or cannot
// prepare the dialog layer. A later call tries again.
bool startDialogThread();

// Runs work on the dialog thread and returns once it has finished; an exception that work throws
// ends work, not the thread. Meanwhile, if given, runs on the calling thread while work runs (it
// must not throw). Only after startDialogThread returned true.
void runOnDialogThread(const std::function<void()>& work,
                       const std::function<void()>& meanwhile = nullptr);

// The dialog thread's identifier; 0 while it does not run.
DWORD dialogThreadId();
