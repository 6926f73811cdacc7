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
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quorlin_c.h"

#define COMMAND_ARRIVED (WM_APP + 1)
#define LINE_SIZE 4096
#define OUT_SIZE 65536

static CRITICAL_SECTION output_lock;
static CRITICAL_SECTION input_lock;
static DWORD caller_thread;
static LONG request_count;
static HWND own_window;
static char pending[64][LINE_SIZE];
static int pending_count;

/* A growing output line; the protocol's lines stay far below OUT_SIZE. */
typedef struct {
    char text[OUT_SIZE];
    size_t used;
} Line;

static void put(Line* line, const char* text) {
    size_t n = strlen(text);
    if (line->used + n >= OUT_SIZE) n = OUT_SIZE - 1 - line->used;
    memcpy(line->text + line->used, text, n);
    line->used += n;
    line->text[line->used] = '\0';
}

static void put_int(Line* line, long long value) {
    char number[32];
    snprintf(number, sizeof number, "%lld", value);
    put(line, number);
}

/* A JSON string literal; UTF-8 bytes pass through unchanged. */
static void put_json(Line* line, const char* text) {
    const unsigned char* p;
    put(line, "\"");
    for (p = (const unsigned char*)text; *p != '\0'; ++p) {
        char one[8];
        if (*p == '"' || *p == '\\') {
            one[0] = '\\';
            one[1] = (char)*p;
            one[2] = '\0';
        } else if (*p < 0x20) {
            snprintf(one, sizeof one, "\\u%04x", *p);
        } else {
            one[0] = (char)*p;
            one[1] = '\0';
        }
        put(line, one);
    }
    put(line, "\"");
}

static void write_line(const Line* line) {
    EnterCriticalSection(&output_lock);
    fwrite(line->text, 1, line->used, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    LeaveCriticalSection(&output_lock);
}

static void simple_event(const char* name) {
    static Line line;
    line.used = 0;
    put(&line, "{\"event\":\"");
    put(&line, name);
    put(&line, "\"}");
    write_line(&line);
}

static void to_utf8(const wchar_t* text, char* out, int size) {
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL) == 0) out[0] = '\0';
}

static void to_wide(const char* text, wchar_t* out, int size) {
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, out, size) == 0) out[0] = L'\0';
}

/* Called by the library on its worker thread; user carries the request number. */
static void on_result(void* user, const char* directory, const char* const* names, size_t count) {
    Line* line = (Line*)malloc(sizeof(Line));
    size_t i;
    if (line == NULL) return;
    line->used = 0;
    put(line, "{\"event\":\"callback\",\"request\":");
    put_int(line, (long long)(INT_PTR)user);
    put(line, ",\"directory\":");
    put_json(line, directory);
    put(line, ",\"names\":[");
    for (i = 0; i < count; ++i) {
        if (i > 0) put(line, ",");
        put_json(line, names[i]);
    }
    put(line, "],\"terminated\":");
    put(line, names[count] == NULL ? "true" : "false");
    put(line, ",\"thread\":");
    put_int(line, (long long)GetCurrentThreadId());
    put(line, ",\"caller_thread\":");
    put_int(line, (long long)caller_thread);
    put(line, "}");
    write_line(line);
    free(line);
}

static void show(const char* args, int with_callback) {
    static Line line;
    char language[8] = "";
    int kind = -1;
    LONG request;
    int result;
    if (sscanf(args, "%d %7s", &kind, language) != 2 ||
        (strcmp(language, "en") != 0 && strcmp(language, "cs") != 0)) {
        simple_event("error");
        return;
    }
    request = InterlockedIncrement(&request_count);
    result = quorlin_show(kind, strcmp(language, "cs") == 0, with_callback ? on_result : NULL,
                          (void*)(INT_PTR)request);
    line.used = 0;
    put(&line, "{\"event\":\"requested\",\"request\":");
    put_int(&line, request);
    put(&line, ",\"kind\":");
    put_int(&line, kind);
    put(&line, ",\"result\":");
    put_int(&line, result);
    put(&line, "}");
    write_line(&line);
}

static void foreground_event(const char* name) {
    static Line line;
    HWND foreground = GetForegroundWindow();
    wchar_t title[512] = L"";
    char utf8[2048];
    if (foreground != NULL) GetWindowTextW(foreground, title, 512);
    to_utf8(title, utf8, sizeof utf8);
    line.used = 0;
    put(&line, "{\"event\":\"");
    put(&line, name);
    put(&line, "\",\"title\":");
    put_json(&line, utf8);
    put(&line, ",\"own\":");
    put(&line, foreground == own_window ? "true" : "false");
    put(&line, "}");
    write_line(&line);
}

typedef struct {
    wchar_t title[512];
    Line* line;
    int found;
    int small_icon;
} TitleSearch;

static BOOL CALLBACK count_titled(HWND window, LPARAM param) {
    TitleSearch* search = (TitleSearch*)param;
    wchar_t title[512] = L"";
    GetWindowTextW(window, title, 512);
    if (wcscmp(title, search->title) == 0 && IsWindowVisible(window)) {
        DWORD_PTR icon = 0;
        if (search->found++ > 0) put(search->line, ",");
        put(search->line, "\"");
        put_int(search->line, (long long)(INT_PTR)window);
        put(search->line, "\"");
        /* the dialog runs on the library's thread: never wait on it for long */
        if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
            icon != 0) {
            search->small_icon = 1;
        }
    }
    return TRUE;
}

static BOOL CALLBACK collect_edit_texts(HWND window, LPARAM param) {
    TitleSearch* search = (TitleSearch*)param;
    wchar_t class_name[64] = L"";
    GetClassNameW(window, class_name, 64);
    if (_wcsicmp(class_name, L"Edit") == 0 && IsWindowVisible(window)) {
        wchar_t text[1024] = L"";
        char utf8[4096];
        DWORD_PTR length = 0;
        SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 5000,
                            &length);
        to_utf8(text, utf8, sizeof utf8);
        if (search->found++ > 0) put(search->line, ",");
        put_json(search->line, utf8);
    }
    return TRUE;
}

static void window_event(const char* title_utf8) {
    static Line line;
    static TitleSearch search;
    memset(&search, 0, sizeof search);
    to_wide(title_utf8, search.title, 512);
    search.line = &line;
    line.used = 0;
    put(&line, "{\"event\":\"window\",\"title\":");
    put_json(&line, title_utf8);
    put(&line, ",\"handles\":[");
    EnumWindows(count_titled, (LPARAM)&search);
    put(&line, "],\"small_icon\":");
    put(&line, search.small_icon ? "true" : "false");
    put(&line, "}");
    write_line(&line);
}

static void edit_event(const char* title_utf8) {
    static Line line;
    static TitleSearch search;
    HWND dialog;
    memset(&search, 0, sizeof search);
    to_wide(title_utf8, search.title, 512);
    search.line = &line;
    line.used = 0;
    put(&line, "{\"event\":\"edit\",\"texts\":[");
    dialog = FindWindowW(NULL, search.title);
    if (dialog != NULL) EnumChildWindows(dialog, collect_edit_texts, (LPARAM)&search);
    put(&line, "]}");
    write_line(&line);
}

static void abi_event(void) {
    static Line line;
    line.used = 0;
    put(&line, "{\"event\":\"abi\",\"library\":");
    put_int(&line, quorlin_abi_version());
    put(&line, ",\"header\":");
    put_int(&line, QUORLIN_ABI_VERSION);
    put(&line, "}");
    write_line(&line);
}

/* Returns 0 on "quit". */
static int execute(char* text) {
    char* space;
    const char* args = "";
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) text[--n] = '\0';
    space = strchr(text, ' ');
    if (space != NULL) {
        *space = '\0';
        args = space + 1;
    }
    if (strcmp(text, "show") == 0) {
        show(args, 1);
    } else if (strcmp(text, "show-without-callback") == 0) {
        show(args, 0);
    } else if (strcmp(text, "active") == 0) {
        quorlin_activate();
        simple_event("active");
    } else if (strcmp(text, "foreground-own-window") == 0) {
        SetForegroundWindow(own_window);
        foreground_event("foreground-own-window");
    } else if (strcmp(text, "foreground?") == 0) {
        foreground_event("foreground");
    } else if (strcmp(text, "window") == 0) {
        window_event(args);
    } else if (strcmp(text, "edit") == 0) {
        edit_event(args);
    } else if (strcmp(text, "abi") == 0) {
        abi_event();
    } else if (strcmp(text, "quit") == 0) {
        simple_event("bye");
        return 0;
    } else {
        simple_event("error");
    }
    return 1;
}

static DWORD WINAPI read_commands(LPVOID unused) {
    char line[LINE_SIZE];
    int more = 1;
    (void)unused;
    while (more) {
        more = fgets(line, sizeof line, stdin) != NULL;
        EnterCriticalSection(&input_lock);
        if (pending_count < 64) {
            strcpy(pending[pending_count++], more ? line : "quit");
        }
        LeaveCriticalSection(&input_lock);
        PostThreadMessageW(caller_thread, COMMAND_ARRIVED, 0, 0);
    }
    return 0;
}

int main(void) {
    WNDCLASSW window_class;
    MSG message;
    HANDLE reader;
    int running = 1;
    static Line ready;

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
    ready.used = 0;
    put(&ready, "{\"event\":\"ready\",\"thread\":");
    put_int(&ready, (long long)caller_thread);
    put(&ready, ",\"window\":");
    put(&ready, own_window != NULL ? "true" : "false");
    put(&ready, "}");
    write_line(&ready);

    reader = CreateThread(NULL, 0, read_commands, NULL, 0, NULL);
    if (reader != NULL) CloseHandle(reader);
    while (running && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.hwnd == NULL && message.message == COMMAND_ARRIVED) {
            static char lines[64][LINE_SIZE];
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
