// Makes a Wine prefix ready for window-system calls: the first one in a new prefix can take many
// seconds, which no test should pay inside its own time limits. The test command runs this once
// after booting the prefix (exit status 0 once a window came and went), and once more with
// --stay, in the background, for the whole test run: Wine ends the desktop process when no
// program has used the desktop for a while, and the next program that opens a window then waits
// about 20 s for a new one. The staying instance keeps an invisible window, so it never takes the
// foreground from a test; stopping the prefix's server ends it.

#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    const bool stay = argc == 2 && std::strcmp(argv[1], "--stay") == 0;
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"warm-up", WS_POPUP | (stay ? 0 : WS_VISIBLE), 0, 0, 10, 10,
                        nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return 1;
    MSG message;
    if (stay) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        return 0;
    }
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    DestroyWindow(window);
    return 0;
}
