// Quorlin.dll as a host loads it.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "quorlin.h"
#include "quorlin_c.h"
#include "win_handle_owners.h"

namespace {

// The names in the export directory of a loaded image, as the loader sees them.
std::vector<std::string> exportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::vector<std::string> names;
    if (entry.VirtualAddress == 0) return names;
    const auto* directory =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        names.emplace_back(reinterpret_cast<const char*>(base + nameRvas[i]));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(QuorlinLibrary, Exports_AreTheSixPlainNamesAndTheCInterface_WhenLoaded) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_TRUE(module) << "error " << GetLastError();
    EXPECT_EQ(exportedNames(module.get()),
              (std::vector<std::string>{"activeDlgWindow", "quorlin_abi_version",
                                        "quorlin_activate", "quorlin_request", "quorlin_show",
                                        "showFilesDialog", "showFoldersDialog", "showSaveDialog",
                                        "showSelectfileDialog", "showSelectfileFolderDialog"}));
}

void countCall(void* user, const char*, const char* const*, size_t) { ++*static_cast<int*>(user); }

TEST(QuorlinLibrary, CInterface_RefusesUnknownKindsAtOnce_AndReportsItsAbiVersion) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_TRUE(module);
    const auto show = reinterpret_cast<decltype(&quorlin_show)>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "quorlin_show")));
    const auto abiVersion = reinterpret_cast<decltype(&quorlin_abi_version)>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "quorlin_abi_version")));
    ASSERT_NE(show, nullptr);
    ASSERT_NE(abiVersion, nullptr);
    EXPECT_EQ(abiVersion(), QUORLIN_ABI_VERSION);
    int calls = 0;
    for (const int kind : {-1, 5, 1000}) {
        EXPECT_EQ(show(kind, 0, &countCall, &calls), QUORLIN_ERROR_KIND) << "kind " << kind;
    }
    EXPECT_EQ(calls, 0);
}

void countOutcome(void* user, int, long, const char*, const char* const*, size_t) {
    ++*static_cast<int*>(user);
}

// Refused before anything is queued: no dialog opens and no callback comes.
TEST(QuorlinLibrary, Request_RefusesKindsAndOptionsItCannotTake_AtOnce) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_TRUE(module);
    const auto request = reinterpret_cast<decltype(&quorlin_request)>(
        reinterpret_cast<void*>(GetProcAddress(module.get(), "quorlin_request")));
    ASSERT_NE(request, nullptr);
    const HWND gone = CreateWindowExW(0, L"STATIC", L"gone", WS_POPUP, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
    if (gone != nullptr) DestroyWindow(gone);
    const std::size_t size = sizeof(quorlin_options);
    const int kind = QUORLIN_ERROR_KIND, options = QUORLIN_ERROR_OPTIONS;
    const struct {
        const char* label;
        int kind;
        quorlin_options options;
        int result;
    } cases[] = {
        {"a kind outside 0 to 4", 5, {size, nullptr, nullptr}, kind},
        {"no size", 0, {0, nullptr, nullptr}, options},
        {"a later version's record", 0, {size + 1, nullptr, nullptr}, options},
        {"an owner that is no window", 0, {size, gone, nullptr}, options},
        {"a folder that is not UTF-8", 0, {size, nullptr, "C:\\\xC3("}, options},
    };
    int calls = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(request(c.kind, 0, &c.options, &countOutcome, &calls), c.result) << c.label;
    }
    EXPECT_EQ(calls, 0);
}

TEST(QuorlinLibrary, ActiveDlgWindow_LeavesForegroundAlone_BeforeAnyRequest) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_TRUE(module);
    using ActiveDlgWindow = void (*)();
    const auto activeDlgWindow =
        reinterpret_cast<ActiveDlgWindow>(GetProcAddress(module.get(), "activeDlgWindow"));
    ASSERT_NE(activeDlgWindow, nullptr);
    // a window with an empty caption is what a lookup of the empty title would find
    const HWND untitled = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr,
                                          nullptr, nullptr, nullptr);
    const HWND before = GetForegroundWindow();
    activeDlgWindow();
    EXPECT_EQ(GetForegroundWindow(), before);
    if (untitled != nullptr) DestroyWindow(untitled);
}

bool waitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);  // a limit
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

TEST(QuorlinLibrary, Host_GetsCallbackAndRunsOn_WhenItUnloadsRightAfterRequest) {
    const HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr,
                                       nullptr, nullptr, nullptr);
    if (probe == nullptr) GTEST_SKIP() << "needs a display";
    DestroyWindow(probe);
    struct Answer {
        std::atomic<bool> empty{false};
        std::atomic<DWORD> thread{0};
    };
    const auto answer = std::make_shared<Answer>();

    HMODULE module = LoadLibraryW(L"Quorlin.dll");
    ASSERT_TRUE(module);
    using ShowDialog = void (*)(bool, DialogCallback);
    const auto show = reinterpret_cast<ShowDialog>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "showSaveDialog")));
    ASSERT_NE(show, nullptr);
    show(false, [answer](const std::string& directory, const std::vector<std::string>& names) {
        answer->empty = directory.empty() && names.empty();
        answer->thread = GetCurrentThreadId();
    });
    FreeLibrary(module);  // the host is done with the library at once

    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (dialog = FindWindowW(nullptr, L"Choose Save Path")); }));
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);  // the user cancels
    ASSERT_TRUE(waitUntil([&] { return answer->thread != 0; }));
    EXPECT_TRUE(answer->empty);
    // the callback's thread ends in the library's code after the host let go of the library (if
    // it has not ended yet: a thread that is gone cannot be opened)
    const UniqueHandle worker(OpenThread(SYNCHRONIZE, FALSE, answer->thread));
    if (worker) {
        EXPECT_EQ(WaitForSingleObject(worker.get(), 60000), WAIT_OBJECT_0);
    }
    // the first request keeps the library for the rest of the process
    EXPECT_NE(GetModuleHandleW(L"Quorlin.dll"), nullptr);
}

}  // namespace
