#include "win_system_library.h"

void RestrictDllSearchToSystem32() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

FARPROC SystemProcedure(const wchar_t* library, const char* function) {
    // never freed: the handles and contexts the library gives out live as long as the process
    const HMODULE module = LoadLibraryExW(library, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module != nullptr ? GetProcAddress(module, function) : nullptr;
}
