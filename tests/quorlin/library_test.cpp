// Quorlin.dll as a host loads it, and the portable UTF-8 conversion against the platform's.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "quorlin.h"
#include "quorlin_c.h"
#include "utf16.h"

namespace {

struct ModuleFreer {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using UniqueModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueThread = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

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
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    EXPECT_EQ(exportedNames(module.get()),
              (std::vector<std::string>{"activeDlgWindow", "quorlin_abi_version",
                                        "quorlin_activate", "quorlin_show", "showFilesDialog",
                                        "showFoldersDialog", "showSaveDialog",
                                        "showSelectfileDialog", "showSelectfileFolderDialog"}));
}

void countCall(void* user, const char*, const char* const*, size_t) { ++*static_cast<int*>(user); }

TEST(QuorlinLibrary, CInterface_RefusesUnknownKindsAtOnce_AndReportsItsAbiVersion) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_NE(module, nullptr);
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

TEST(QuorlinLibrary, ActiveDlgWindow_LeavesForegroundAlone_BeforeAnyRequest) {
    const UniqueModule module(LoadLibraryW(L"Quorlin.dll"));
    ASSERT_NE(module, nullptr);
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
    ASSERT_NE(module, nullptr);
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
    // the worker ends in the library's code after the host let go of the library (if it has not
    // ended yet: a thread that is gone cannot be opened)
    const UniqueThread worker(OpenThread(SYNCHRONIZE, FALSE, answer->thread));
    if (worker) {
        EXPECT_EQ(WaitForSingleObject(worker.get(), 60000), WAIT_OBJECT_0);
    }
    Sleep(300);  // and the dialog's icon watcher, 200 ms after the dialog opened
    // the thread that shows dialogs keeps the library for the rest of the process
    EXPECT_NE(GetModuleHandleW(L"Quorlin.dll"), nullptr);
}

std::string platformUtf8(const Utf16String& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

TEST(Utf8Agreement, ToUtf8_MatchesWideCharToMultiByte_ForEveryCodeUnit) {
    for (unsigned unit = 1; unit <= 0xFFFF; ++unit) {
        const Utf16String text{L'a', static_cast<wchar_t>(unit), L'b'};
        ASSERT_EQ(toUtf8(text), platformUtf8(text)) << "unit " << unit;
    }
}

TEST(Utf8Agreement, ToUtf8_MatchesWideCharToMultiByte_ForSurrogateSequences) {
    const wchar_t units[] = {0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xD83D, 0xDE00, L'a', 0x4E2D, 0};
    // every sequence of up to three of these units
    for (const wchar_t a : units) {
        for (const wchar_t b : units) {
            for (const wchar_t c : units) {
                const Utf16String text{a, b, c};
                ASSERT_EQ(toUtf8(text), platformUtf8(text))
                    << std::hex << unsigned(a) << ' ' << unsigned(b) << ' ' << unsigned(c);
            }
        }
    }
}

TEST(Utf8Agreement, ToUtf8_MatchesWideCharToMultiByte_ForRandomLongTexts) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> pick(0, 0xFFFF);
    std::uniform_int_distribution<int> plane(0, 3);
    for (int round = 0; round < 200; ++round) {
        Utf16String text;
        for (int i = 0; i < 2000; ++i) {
            const int p = plane(random);  // mostly ascii, as paths are
            text.push_back(static_cast<wchar_t>(p < 2 ? 0x20 + pick(random) % 0x5F : pick(random)));
        }
        ASSERT_EQ(toUtf8(text), platformUtf8(text)) << "round " << round;
    }
}

}  // namespace
