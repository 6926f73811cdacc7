// Makes a freshly booted Wine prefix ready for window-system calls: the first one in a new prefix
// can take many seconds, which no test should pay inside its own time limits. The test command
// runs this once after booting the prefix. Exit status 0 once a window came and went.

#include <windows.h>

int main() {
    const HWND window = CreateWindowExW(0, L"STATIC", L"warm-up", WS_POPUP | WS_VISIBLE, 0, 0, 10,
                                        10, nullptr, nullptr, nullptr, nullptr);
    if (window == nullptr) return 1;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    DestroyWindow(window);
    return 0;
}
