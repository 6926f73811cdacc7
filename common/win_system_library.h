#pragma once
// The system DLLs that are no KnownDLLs (crypt32, wininet) are not imported: the loader would look
// for them in the program's folder first, which a standard user may be able to write. They are
// loaded from System32 only, at their first use.

#include <windows.h>

constexpr wchar_t kCrypt32[] = L"crypt32.dll";
constexpr wchar_t kWininet[] = L"wininet.dll";

// Has every later DLL search of the process look in System32 only; main's first step.
void RestrictDllSearchToSystem32();

// The address of function in library, the library loaded from System32 and kept to the end of the
// process; null when either cannot be had.
FARPROC SystemProcedure(const wchar_t* library, const char* function);

template <typename Function>
Function* SystemFunction(const wchar_t* library, const char* function) {
    // through void*: GCC warns about a cast from one function type straight to another
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(SystemProcedure(library, function)));
}

// The function as the SDK declares it, named once: SYSTEM_FUNCTION(kCrypt32, CryptQueryObject).
#define SYSTEM_FUNCTION(library, function) SystemFunction<decltype(function)>(library, #function)
