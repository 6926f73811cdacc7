/* A host of Quorlin.dll written in plain C over quorlin_c.h, built against the installed package.
 * It speaks the line protocol of the end-to-end dialog host (tests/quorlin_e2e), so the same
 * harness drives it: one command per input line, one JSON object per output line, flushed at once.
 *   show <kind> <en|cs>      -> "requested" with quorlin_show's result, later "callback"
 *   show-without-callback <kind> <en|cs>   the same request with a NULL callback
 *   active                   -> quorlin_activate()
 *   foreground-own-window, foreground?, window <title>, edit <title>: as the C++ host
 *   abi                      -> the DLL's and the header's QUORLIN_ABI_VERSION
 *   quit */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quorlin_c.h"

#define COMMAND_ARRIVED (WM_APP + 1)
#define LINE_SIZE 4096
#define JSON_SIZE 65536

static CRITICAL_SECTION output_lock;
static CRITICAL_SECTION input_lock;
static DWORD caller_thread;
static LONG request_count;
static HWND own_window;
static char pending[64][LINE_SIZE];
static int pending_count;

/* Appends to a JSON line under construction; the protocol's lines stay far below JSON_SIZE. */
static void add(char* json, const char* format, ...) {
    size_t used = strlen(json);
    va_list args;
    va_start(args, format);
    vsnprintf(json + used, JSON_SIZE - used, format, args);
    va_end(args);
}

/* A JSON string literal; UTF-8 bytes pass through unchanged. */
static void add_string(char* json, const char* text) {
    const unsigned char* p;
    add(json, "\"");
    for (p = (const unsigned char*)text; *p != '\0'; ++p) {
        if (*p == '"' || *p == '\\') {
            add(json, "\\%c", *p);
        } else if (*p < 0x20) {
            add(json, "\\u%04x", *p);
        } else {
            add(json, "%c", *p);
        }
    }
    add(json, "\"");
}

static void write_line(const char* json) {
    EnterCriticalSection(&output_lock);
    fputs(json, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    LeaveCriticalSection(&output_lock);
}

static void to_utf8(const wchar_t* text, char* out, int size) {
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL) == 0) out[0] = '\0';
}

/* Called by the library on its worker thread; user carries the request number. */
static void on_result(void* user, const char* directory, const char* const* names, size_t count) {
    /* a refused request is answered at once, also while another request's callback runs */
    char* json = (char*)calloc(1, JSON_SIZE);
    size_t i;
    if (json == NULL) return;
    add(json, "{\"event\":\"callback\",\"request\":%ld,\"directory\":", (long)(INT_PTR)user);
    add_string(json, directory);
    add(json, ",\"names\":[");
    for (i = 0; i < count; ++i) {
        if (i > 0) add(json, ",");
        add_string(json, names[i]);
    }
    add(json, "],\"terminated\":%s,\"thread\":%lu,\"caller_thread\":%lu}",
        names[count] == NULL ? "true" : "false", GetCurrentThreadId(), caller_thread);
    write_line(json);
    free(json);
}

typedef struct {
    wchar_t title[512];
    char* json;
    int found;
    int small_icon;
} Search;

static BOOL CALLBACK find_titled(HWND window, LPARAM param) {
    Search* search = (Search*)param;
    wchar_t title[512] = L"";
    DWORD_PTR icon = 0;
    GetWindowTextW(window, title, 512);
    if (wcscmp(title, search->title) != 0 || !IsWindowVisible(window)) return TRUE;
    add(search->json, "%s\"%lld\"", search->found++ > 0 ? "," : "", (long long)(INT_PTR)window);
    /* the dialog runs on the library's thread: never wait on it for long */
    if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
        icon != 0) {
        search->small_icon = 1;
    }
    return TRUE;
}

static BOOL CALLBACK find_edits(HWND window, LPARAM param) {
    Search* search = (Search*)param;
    wchar_t class_name[64] = L"", text[1024] = L"";
    char utf8[4096];
    DWORD_PTR length = 0;
    GetClassNameW(window, class_name, 64);
    if (_wcsicmp(class_name, L"Edit") != 0 || !IsWindowVisible(window)) return TRUE;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length);
    to_utf8(text, utf8, sizeof utf8);
    if (search->found++ > 0) add(search->json, ",");
    add_string(search->json, utf8);
    return TRUE;
}

/* Returns 0 on "quit". */
static int execute(char* verb) {
    static char json[JSON_SIZE];
    static Search search;
    char* args = strchr(verb, ' ');
    char language[8] = "";
    int kind = 0;
    if (args != NULL) *args++ = '\0';
    json[0] = '\0';
    memset(&search, 0, sizeof search);
    search.json = json;
    if (args != NULL) MultiByteToWideChar(CP_UTF8, 0, args, -1, search.title, 512);

    if ((strcmp(verb, "show") == 0 || strcmp(verb, "show-without-callback") == 0) && args != NULL &&
        sscanf(args, "%d %7s", &kind, language) == 2 &&
        (strcmp(language, "en") == 0 || strcmp(language, "cs") == 0)) {
        const LONG request = InterlockedIncrement(&request_count);
        const int result =
            quorlin_show(kind, strcmp(language, "cs") == 0,
                         strcmp(verb, "show") == 0 ? on_result : NULL, (void*)(INT_PTR)request);
        add(json, "{\"event\":\"requested\",\"request\":%ld,\"kind\":%d,\"result\":%d}", request,
            kind, result);
    } else if (strcmp(verb, "active") == 0) {
        quorlin_activate();
        add(json, "{\"event\":\"active\"}");
    } else if (strcmp(verb, "foreground-own-window") == 0 || strcmp(verb, "foreground?") == 0) {
        const int make_own = strcmp(verb, "foreground-own-window") == 0;
        HWND foreground;
        wchar_t title[512] = L"";
        char utf8[2048];
        if (make_own) SetForegroundWindow(own_window);
        foreground = GetForegroundWindow();
        if (foreground != NULL) GetWindowTextW(foreground, title, 512);
        to_utf8(title, utf8, sizeof utf8);
        add(json, "{\"event\":\"%s\",\"title\":", make_own ? verb : "foreground");
        add_string(json, utf8);
        add(json, ",\"own\":%s}", foreground == own_window ? "true" : "false");
    } else if (strcmp(verb, "window") == 0 && args != NULL) {
        add(json, "{\"event\":\"window\",\"title\":");
        add_string(json, args);
        add(json, ",\"handles\":[");
        EnumWindows(find_titled, (LPARAM)&search);
        add(json, "],\"small_icon\":%s}", search.small_icon ? "true" : "false");
    } else if (strcmp(verb, "edit") == 0 && args != NULL) {
        HWND dialog = FindWindowW(NULL, search.title);
        add(json, "{\"event\":\"edit\",\"texts\":[");
        if (dialog != NULL) EnumChildWindows(dialog, find_edits, (LPARAM)&search);
        add(json, "]}");
    } else if (strcmp(verb, "abi") == 0) {
        add(json, "{\"event\":\"abi\",\"library\":%d,\"header\":%d}", quorlin_abi_version(),
            QUORLIN_ABI_VERSION);
    } else if (strcmp(verb, "quit") == 0) {
        write_line("{\"event\":\"bye\"}");
        return 0;
    } else {
        add(json, "{\"event\":\"error\",\"line\":");
        add_string(json, verb);
        add(json, "}");
    }
    write_line(json);
    return 1;
}

static DWORD WINAPI read_commands(LPVOID unused) {
    char line[LINE_SIZE];
    int more = 1;
    (void)unused;
    while (more) {
        more = fgets(line, sizeof line, stdin) != NULL;
        line[strcspn(line, "\r\n")] = '\0';
        EnterCriticalSection(&input_lock);
        if (pending_count < 64) strcpy(pending[pending_count++], more ? line : "quit");
        LeaveCriticalSection(&input_lock);
        PostThreadMessageW(caller_thread, COMMAND_ARRIVED, 0, 0);
    }
    return 0;
}

int main(void) {
    static char lines[64][LINE_SIZE];
    WNDCLASSW window_class;
    MSG message;
    HANDLE reader;
    int running = 1;
    char ready[128];

    _setmode(_fileno(stdout), _O_BINARY);
    InitializeCriticalSection(&output_lock);
    InitializeCriticalSection(&input_lock);
    caller_thread = GetCurrentThreadId();

    memset(&window_class, 0, sizeof window_class);
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"DialogHostWindow";
    RegisterClassW(&window_class);
    /* the host's own window stands in for the application window in front before a dialog */
    own_window = CreateWindowExW(0, window_class.lpszClassName, L"Dialog Host",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL,
                                 window_class.hInstance, NULL);
    PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE); /* the thread's queue must exist first */
    snprintf(ready, sizeof ready, "{\"event\":\"ready\",\"thread\":%lu,\"window\":%s}",
             caller_thread, own_window != NULL ? "true" : "false");
    write_line(ready);

    reader = CreateThread(NULL, 0, read_commands, NULL, 0, NULL);
    if (reader != NULL) CloseHandle(reader);
    while (running && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.hwnd == NULL && message.message == COMMAND_ARRIVED) {
            int count, i;
            EnterCriticalSection(&input_lock);
            count = pending_count;
            memcpy(lines, pending, (size_t)count * LINE_SIZE);
            pending_count = 0;
            LeaveCriticalSection(&input_lock);
            for (i = 0; i < count && running; ++i) running = execute(lines[i]);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    fflush(stdout);
    /* the library's threads may still run: end without unwinding past them */
    ExitProcess(0);
    return 0;
}
