#pragma once
// Threads of the library that keep its code mapped while they run.
//
// A host may call FreeLibrary right after a request returns; the library's threads run on after
// that. Each one therefore holds its own reference to the module its code lives in and drops it
// with FreeLibraryAndExitThread, so the last of them unmaps the code only once nothing runs in it.

#include <windows.h>

// Starts a detached thread running body(argument) with a reference to this module (the DLL, or the
// program this code is linked into) taken before the thread starts. False when the reference or
// the thread cannot be had; body then never runs and argument stays the caller's.
bool startModuleThread(unsigned(__stdcall* body)(void*), void* argument);
