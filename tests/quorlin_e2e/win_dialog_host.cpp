// A scriptable host of Quorlin.dll for the end-to-end dialog tests. It reads commands from stdin
// and answers with one JSON line each, flushed at once; each callback adds a line of its own:
//   show <kind 0-4> <en|cs>      -> {"event":"requested",...}, later {"event":"callback",...}
//   show-without-callback <kind> <en|cs>   the same request with an empty callback
//   show-blocking <kind> <en|cs> -> the host's own window comes to the front, the request is made
//                                   as by show, then the host's UI thread waits for the callback
//                                   without answering messages; {"event":"unblocked"} after it
//   hold-callbacks, release-callbacks      callbacks wait inside the library while held
//   active                       -> calls activeDlgWindow
//   foreground-own-window        -> makes the host's own window the foreground window
//   foreground?                  -> the foreground window's handle and title, whether it is the
//                                   host's own window and whether it belongs to this process
//   window <title>               -> the top-level windows bearing the title (all, this process's,
//                                   those with a small icon)
//   edit <title>                 -> the texts of the edit boxes in the window bearing the title
//   quit
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../../common/win_handle_owners.h"
#include "host_protocol.h"
#include "quorlin.h"

namespace {

using dialog_host::JsonString;
using dialog_host::JsonStringArray;

constexpr wchar_t kHostTitle[] = L"Dialog Host";
constexpr UINT kCommandArrived = WM_APP + 1;

std::mutex outputLock;
DWORD callerThread = 0;
std::atomic<int> requestCount{0};

std::mutex inputLock;
std::deque<std::string> pendingLines;

void WriteLine(const std::string& json) {
    std::lock_guard<std::mutex> guard(outputLock);
    std::fwrite(json.data(), 1, json.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

std::string WindowTitle(HWND window) {
    wchar_t title[512] = {};
    GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    return Utf8(title);
}

std::string Bool(bool value) { return value ? "true" : "false"; }

// While set, each callback reports itself and then waits inside the library until released.
std::mutex holdLock;
std::condition_variable holdChanged;
bool holdingCallbacks = false;

void SetHolding(bool hold) {
    {
        std::lock_guard<std::mutex> guard(holdLock);
        holdingCallbacks = hold;
    }
    holdChanged.notify_all();
}

void Report(int request, const std::string& directory, const std::vector<std::string>& names) {
    WriteLine("{\"event\":\"callback\",\"request\":" + std::to_string(request) +
              ",\"directory\":" + JsonString(directory) + ",\"names\":" + JsonStringArray(names) +
              ",\"thread\":" + std::to_string(GetCurrentThreadId()) +
              ",\"caller_thread\":" + std::to_string(callerThread) + "}");
    std::unique_lock<std::mutex> guard(holdLock);
    holdChanged.wait(guard, [] { return !holdingCallbacks; });
}

// called, if given, is set once the callback has reported.
void Show(int kind, bool isChinese, bool withCallback, HANDLE called = nullptr) {
    using Export = void (*)(bool, DialogCallback);
    static const Export exports[] = {showFilesDialog, showFoldersDialog, showSaveDialog,
                                     showSelectfileDialog, showSelectfileFolderDialog};
    const int request = ++requestCount;
    DialogCallback callback;
    if (withCallback) {
        callback = [request, called](const std::string& directory,
                                     const std::vector<std::string>& names) {
            Report(request, directory, names);
            if (called != nullptr) SetEvent(called);
        };
    }
    exports[kind](isChinese, callback);
    WriteLine("{\"event\":\"requested\",\"request\":" + std::to_string(request) +
              ",\"kind\":" + std::to_string(kind) + "}");
}

std::string HandleText(HWND window) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(window));
}

bool InThisProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
}

struct TitleSearch {
    std::wstring title;
    std::vector<std::string> handles;
    std::vector<std::string> own;
    std::vector<std::string> withIcon;
};

BOOL CALLBACK CountTitled(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TitleSearch*>(param);
    wchar_t title[512] = {};
    GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    if (search->title == title && IsWindowVisible(window)) {
        search->handles.push_back(HandleText(window));
        if (InThisProcess(window)) search->own.push_back(HandleText(window));
        DWORD_PTR icon = 0;
        // the dialog runs on a thread of the library; a hung dialog must not hang the host
        if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
            icon != 0) {
            search->withIcon.push_back(HandleText(window));
        }
    }
    return TRUE;
}

BOOL CALLBACK CollectEditTexts(HWND window, LPARAM param) {
    wchar_t className[64] = {};
    GetClassNameW(window, className, static_cast<int>(std::size(className)));
    if (_wcsicmp(className, L"Edit") == 0 && IsWindowVisible(window)) {
        wchar_t text[1024] = {};
        // the edit belongs to the dialog's thread: ask it, but never wait on a hung dialog
        DWORD_PTR length = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 5000, &length);
        reinterpret_cast<std::vector<std::string>*>(param)->push_back(Utf8(text));
    }
    return TRUE;
}

// Returns false on "quit".
bool Execute(const std::string& line, HWND ownWindow) {
    const dialog_host::Command command = dialog_host::ParseCommand(line, 1);
    const std::vector<std::string> args = dialog_host::ParseCommand(line, 2).args;
    const bool show = command.verb == "show" || command.verb == "show-without-callback" ||
                      command.verb == "show-blocking";
    if (show && args.size() == 2 && args[0].size() == 1 && args[0][0] >= '0' && args[0][0] <= '4' &&
        (args[1] == "en" || args[1] == "cs")) {
        if (command.verb == "show-blocking") {
            SetForegroundWindow(ownWindow);
            const UniqueHandle called(CreateEventW(nullptr, TRUE, FALSE, nullptr));
            Show(args[0][0] - '0', args[1] == "cs", true, called.get());
            WaitForSingleObject(called.get(), INFINITE);
            WriteLine("{\"event\":\"unblocked\"}");
        } else {
            Show(args[0][0] - '0', args[1] == "cs", command.verb != "show-without-callback");
        }
    } else if (command.verb == "hold-callbacks" || command.verb == "release-callbacks") {
        SetHolding(command.verb == "hold-callbacks");
        WriteLine("{\"event\":\"" + command.verb + "\"}");
    } else if (command.verb == "active") {
        activeDlgWindow();
        WriteLine("{\"event\":\"active\"}");
    } else if (command.verb == "foreground-own-window") {
        SetForegroundWindow(ownWindow);
        WriteLine("{\"event\":\"foreground-own-window\",\"own\":" +
                  Bool(GetForegroundWindow() == ownWindow) + "}");
    } else if (command.verb == "foreground?") {
        HWND foreground = GetForegroundWindow();
        WriteLine("{\"event\":\"foreground\",\"title\":" +
                  JsonString(foreground ? WindowTitle(foreground) : std::string()) +
                  ",\"handle\":" + JsonString(HandleText(foreground)) +
                  ",\"own\":" + Bool(foreground == ownWindow) + ",\"this_process\":" +
                  Bool(foreground != nullptr && InThisProcess(foreground)) + "}");
    } else if (command.verb == "window" && command.args.size() == 1) {
        TitleSearch search;
        search.title = Wide(command.args[0]);
        EnumWindows(CountTitled, reinterpret_cast<LPARAM>(&search));
        WriteLine("{\"event\":\"window\",\"title\":" + JsonString(command.args[0]) +
                  ",\"handles\":" + JsonStringArray(search.handles) +
                  ",\"own\":" + JsonStringArray(search.own) +
                  ",\"with_icon\":" + JsonStringArray(search.withIcon) +
                  ",\"small_icon\":" + Bool(!search.withIcon.empty()) + "}");
    } else if (command.verb == "edit" && command.args.size() == 1) {
        std::vector<std::string> texts;
        if (HWND dialog = FindWindowW(nullptr, Wide(command.args[0]).c_str())) {
            EnumChildWindows(dialog, CollectEditTexts, reinterpret_cast<LPARAM>(&texts));
        }
        WriteLine("{\"event\":\"edit\",\"texts\":" + JsonStringArray(texts) + "}");
    } else if (command.verb == "quit") {
        WriteLine("{\"event\":\"bye\"}");
        return false;
    } else {
        WriteLine("{\"event\":\"error\",\"line\":" + JsonString(line) + "}");
    }
    return true;
}

void ReadCommands() {
    std::string line;
    bool more = true;
    while (more) {
        more = static_cast<bool>(std::getline(std::cin, line));
        {
            std::lock_guard<std::mutex> guard(inputLock);
            pendingLines.push_back(more ? line : std::string("quit"));
        }
        PostThreadMessageW(callerThread, kCommandArrived, 0, 0);
    }
}

}  // namespace

int main() {
    _setmode(_fileno(stdout), _O_BINARY);
    callerThread = GetCurrentThreadId();

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"DialogHostWindow";
    RegisterClassW(&windowClass);
    // the host's own window stands in for the application window that was in front before a dialog
    UniqueWindow ownWindow(CreateWindowExW(0, windowClass.lpszClassName, kHostTitle,
                                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                           nullptr, nullptr, windowClass.hInstance, nullptr));
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue must exist first
    WriteLine("{\"event\":\"ready\",\"thread\":" + std::to_string(callerThread) +
              ",\"window\":" + Bool(static_cast<bool>(ownWindow)) + "}");

    std::thread(ReadCommands).detach();
    bool running = true;
    while (running && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kCommandArrived) {
            std::deque<std::string> lines;
            {
                std::lock_guard<std::mutex> guard(inputLock);
                lines.swap(pendingLines);
            }
            for (const std::string& line : lines) {
                if (running) running = Execute(line, ownWindow.get());
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    // detached dialog threads may still run: end the process without unwinding past them
    std::fflush(stdout);
    ExitProcess(0);
}
