#include "win_module_thread.h"

#include <process.h>

#include <new>

#include "win_handles.h"

namespace {

struct ModuleThreadStart {
    unsigned(__stdcall* body)(void*);
    void* argument;
    HMODULE module;
};

unsigned __stdcall moduleThread(void* start) {
    const ModuleThreadStart copy = *static_cast<ModuleThreadStart*>(start);
    delete static_cast<ModuleThreadStart*>(start);
    copy.body(copy.argument);
    // every object of the body is gone by now: from here on no code of this module runs
    FreeLibraryAndExitThread(copy.module, 0);
}

}  // namespace

bool startModuleThread(unsigned(__stdcall* body)(void*), void* argument) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&moduleThread), &module)) {
        return false;
    }
    auto* start = new (std::nothrow) ModuleThreadStart{body, argument, module};
    if (start == nullptr) {
        FreeLibrary(module);
        return false;
    }
    const UniqueHandle thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &moduleThread, start, 0, nullptr)));
    if (!thread) {
        delete start;
        FreeLibrary(module);
        return false;
    }
    return true;
}
