/* A scriptable host of Quorlin.dll for the end-to-end dialog tests (dialogs_e2e.py drives it). It
 * reads one command per line from stdin and answers each with one JSON line, written at once; each
 * callback adds a line of its own:
 *   show <kind> <en|cs>           -> {"event":"requested",...} (with the C interface's "result"),
 *                                    later {"event":"callback",...}
 *   show-without-callback <kind> <en|cs>   the same request with no callback
 *   request <kind> <en|cs> <none|own|orphan> [folder]   the same through quorlin_request, owned
 *                                 by no window, the host's own, or a window destroyed at once
 *                                 (for a request that waits); its callback adds "status", "error"
 *   show-blocking <kind> <en|cs>  makes the host's own window the foreground window, requests like
 *                                 show, then blocks this (the window's) thread without taking its
 *                                 messages until the callback has run -> {"event":"unblocked"}
 *   hold-callbacks, release-callbacks      callbacks wait inside the library while held
 *   active                        -> the library's bring-to-front call
 *   foreground-own-window         -> makes the host's own window the foreground window
 *   foreground?                   -> the foreground window's handle and title, whether it is the
 *                                    host's own window and whether it belongs to this process, is
 *                                    enabled, its owner's title and its message box text if any
 *   window <title>                -> the top-level windows bearing the title (all, this process's,
 *                                    those with a small icon)
 *   edit <title>                  -> the texts of the edit boxes in the window bearing the title
 *   abi                           -> the DLL's and the header's QUORLIN_ABI_VERSION (C interface)
 *   quit
 * Win32 only, no C runtime: the same file builds with mingw-w64 and, for the MSVC ABI, with no C
 * runtime at all (entry point dialog_host_entry). Every stack frame stays under a page, since
 * there is no stack probe without a runtime either. */
#include <windows.h>

#include "dialog_host.h"

#define COMMAND_ARRIVED (WM_APP + 1)
#define LINE_SIZE 4096
#define MAX_PENDING 64
#define TITLE_SIZE 512

static HANDLE heap;
static CRITICAL_SECTION output_lock;
static CRITICAL_SECTION input_lock;
static DWORD caller_thread;
static LONG request_count;
static HWND own_window;
static HANDLE callbacks_released; /* set unless callbacks are held */
static HANDLE blocking_done;      /* set by the callback of the request show-blocking waits for */
static volatile LONG blocking_request;
static char pending[MAX_PENDING][LINE_SIZE];
static int pending_count;

/* ---- text without a C runtime */

static int equal(const char* a, const char* b) {
    while (*a != '\0' && *a == *b) ++a, ++b;
    return *a == *b;
}

static void copy(char* to, const char* from, int size) {
    int i;
    for (i = 0; i + 1 < size && from[i] != '\0'; ++i) to[i] = from[i];
    to[i] = '\0';
}

/* A JSON line under construction, on the heap: callbacks may bring many names. */
typedef struct {
    char* data;
    int used;
    int size;
} Json;

static void json_begin(Json* json) {
    json->size = 4096;
    json->used = 0;
    json->data = (char*)HeapAlloc(heap, 0, (SIZE_T)json->size);
    if (json->data == NULL) json->size = 0;
}

static void put_bytes(Json* json, const char* bytes, int count) {
    int i;
    if (json->used + count + 2 > json->size) {
        int size = (json->used + count + 2) * 2;
        char* grown =
            json->data == NULL ? NULL : (char*)HeapReAlloc(heap, 0, json->data, (SIZE_T)size);
        if (grown == NULL) return; /* the line comes out short, and the test says why */
        json->data = grown;
        json->size = size;
    }
    for (i = 0; i < count; ++i) json->data[json->used++] = bytes[i];
}

static void put(Json* json, const char* text) { put_bytes(json, text, lstrlenA(text)); }

static void put_unsigned(Json* json, ULONG_PTR value) {
    char digits[24];
    int at = (int)sizeof digits;
    do {
        digits[--at] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    put_bytes(json, digits + at, (int)sizeof digits - at);
}

static void put_int(Json* json, int value) {
    if (value < 0) put(json, "-");
    put_unsigned(json, value < 0 ? (ULONG_PTR)(-(LONG_PTR)value) : (ULONG_PTR)value);
}

static void put_bool(Json* json, int value) { put(json, value ? "true" : "false"); }

/* A JSON string literal; UTF-8 bytes pass through unchanged. */
static void put_string(Json* json, const char* text) {
    static const char hex[] = "0123456789abcdef";
    const unsigned char* p;
    put(json, "\"");
    for (p = (const unsigned char*)text; *p != '\0'; ++p) {
        char escaped[6] = {'\\', 'u', '0', '0', 0, 0};
        if (*p == '"' || *p == '\\') {
            escaped[1] = (char)*p;
            put_bytes(json, escaped, 2);
        } else if (*p < 0x20) {
            escaped[4] = hex[*p >> 4];
            escaped[5] = hex[*p & 15];
            put_bytes(json, escaped, 6);
        } else {
            put_bytes(json, (const char*)p, 1);
        }
    }
    put(json, "\"");
}

static void put_wide(Json* json, const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    char* utf8 = size > 0 ? (char*)HeapAlloc(heap, 0, (SIZE_T)size) : NULL;
    if (utf8 != NULL && WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, size, NULL, NULL) > 0) {
        put_string(json, utf8);
    } else {
        put_string(json, "");
    }
    if (utf8 != NULL) HeapFree(heap, 0, utf8);
}

static void put_handle(Json* json, HWND window) {
    put(json, "\"");
    put_unsigned(json, (ULONG_PTR)window);
    put(json, "\"");
}

/* Writes the line and lets it go. */
static void json_end(Json* json) {
    DWORD written;
    put(json, "}\n");
    if (json->data == NULL) return;
    EnterCriticalSection(&output_lock);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), json->data, (DWORD)json->used, &written, NULL);
    LeaveCriticalSection(&output_lock);
    HeapFree(heap, 0, json->data);
}

static void json_event(Json* json, const char* event) {
    json_begin(json);
    put(json, "{\"event\":\"");
    put(json, event);
    put(json, "\"");
}

/* ---- the library's side */

#ifndef DIALOG_HOST_CXX_FRONT
#include "quorlin_c.h"

static void on_result(void* user, const char* directory, const char* const* names, size_t count) {
    dialog_host_report((int)(INT_PTR)user, -1, 0, directory, names, count, names[count] == NULL);
}

static void on_outcome(void* user, int status, long error, const char* directory,
                       const char* const* names, size_t count) {
    dialog_host_report((int)(INT_PTR)user, status, error, directory, names, count,
                       names[count] == NULL);
}

int dialog_host_show(int kind, int is_chinese, int with_callback, int request) {
    return quorlin_show(kind, is_chinese, with_callback ? on_result : NULL,
                        (void*)(INT_PTR)request);
}

int dialog_host_request(int kind, int is_chinese, void* owner, const char* folder, int request) {
    quorlin_options options;
    options.size = sizeof options;
    options.owner = owner;
    options.folder = folder;
    return quorlin_request(kind, is_chinese, &options, on_outcome, (void*)(INT_PTR)request);
}

void dialog_host_activate(void) { quorlin_activate(); }

int dialog_host_abi(int* library, int* header) {
    *library = quorlin_abi_version();
    *header = QUORLIN_ABI_VERSION;
    return 1;
}
#endif

void dialog_host_report(int request, int status, long error, const char* directory,
                        const char* const* names, size_t count, int terminated) {
    Json json;
    size_t i;
    json_event(&json, "callback");
    put(&json, ",\"request\":");
    put_int(&json, request);
    if (status >= 0) {
        put(&json, ",\"status\":");
        put_int(&json, status);
        put(&json, ",\"error\":");
        put_int(&json, (int)error);
    }
    put(&json, ",\"directory\":");
    put_string(&json, directory);
    put(&json, ",\"names\":[");
    for (i = 0; i < count; ++i) {
        if (i > 0) put(&json, ",");
        put_string(&json, names[i]);
    }
    put(&json, "]");
    if (terminated >= 0) {
        put(&json, ",\"terminated\":");
        put_bool(&json, terminated);
    }
    put(&json, ",\"thread\":");
    put_unsigned(&json, GetCurrentThreadId());
    put(&json, ",\"caller_thread\":");
    put_unsigned(&json, caller_thread);
    json_end(&json);
    WaitForSingleObject(callbacks_released, INFINITE);
    if (request == blocking_request) SetEvent(blocking_done);
}

/* ---- windows */

static int in_this_process(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process == GetCurrentProcessId();
}

static int same_text(const wchar_t* a, const wchar_t* b) {
    return CompareStringOrdinal(a, -1, b, -1, FALSE) == CSTR_EQUAL;
}

typedef struct {
    const wchar_t* title;
    Json handles, own, with_icon; /* array bodies */
} TitleSearch;

static void add_item(Json* list, HWND window) {
    if (list->used > 0) put(list, ",");
    put_handle(list, window);
}

static BOOL CALLBACK find_titled(HWND window, LPARAM param) {
    TitleSearch* search = (TitleSearch*)param;
    wchar_t title[TITLE_SIZE];
    DWORD_PTR icon = 0;
    title[0] = L'\0';
    GetWindowTextW(window, title, TITLE_SIZE);
    if (!same_text(title, search->title) || !IsWindowVisible(window)) return TRUE;
    add_item(&search->handles, window);
    if (in_this_process(window)) add_item(&search->own, window);
    /* the dialog runs on a thread of the library; a hung dialog must not hang the host */
    if (SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 5000, &icon) &&
        icon != 0) {
        add_item(&search->with_icon, window);
    }
    return TRUE;
}

static void put_list(Json* json, const char* name, Json* list) {
    put(json, ",\"");
    put(json, name);
    put(json, "\":[");
    if (list->data != NULL) put_bytes(json, list->data, list->used);
    put(json, "]");
    if (list->data != NULL) HeapFree(heap, 0, list->data);
}

static BOOL CALLBACK find_edits(HWND window, LPARAM param) {
    Json* texts = (Json*)param;
    wchar_t class_name[64];
    wchar_t text[1024];
    DWORD_PTR length = 0;
    class_name[0] = text[0] = L'\0';
    GetClassNameW(window, class_name, 64);
    if (lstrcmpiW(class_name, L"Edit") != 0 || !IsWindowVisible(window)) return TRUE;
    /* the edit belongs to the dialog's thread: ask it, but never wait on a hung dialog */
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &length);
    text[1023] = L'\0';
    if (texts->used > 0) put(texts, ",");
    put_wide(texts, text);
    return TRUE;
}

static void report_foreground(const char* event) {
    HWND foreground = GetForegroundWindow();
    HWND owner = foreground != NULL ? GetWindow(foreground, GW_OWNER) : NULL;
    HWND text = foreground != NULL ? GetDlgItem(foreground, 0xFFFF) : NULL; /* a box's message */
    static wchar_t owner_title[TITLE_SIZE], box_text[TITLE_SIZE]; /* frames stay under a page */
    wchar_t title[TITLE_SIZE];
    DWORD_PTR length = 0;
    Json json;
    title[0] = owner_title[0] = box_text[0] = L'\0';
    if (foreground != NULL) GetWindowTextW(foreground, title, TITLE_SIZE);
    if (owner != NULL) GetWindowTextW(owner, owner_title, TITLE_SIZE);
    if (text != NULL)
        SendMessageTimeoutW(text, WM_GETTEXT, TITLE_SIZE, (LPARAM)box_text, SMTO_ABORTIFHUNG, 5000,
                            &length);
    box_text[TITLE_SIZE - 1] = L'\0';
    json_event(&json, event);
    put(&json, ",\"title\":");
    put_wide(&json, title);
    put(&json, ",\"text\":");
    put_wide(&json, box_text);
    put(&json, ",\"enabled\":");
    put_bool(&json, foreground != NULL && IsWindowEnabled(foreground));
    put(&json, ",\"owner\":");
    put_wide(&json, owner_title);
    put(&json, ",\"handle\":");
    put_handle(&json, foreground);
    put(&json, ",\"own\":");
    put_bool(&json, foreground == own_window);
    put(&json, ",\"this_process\":");
    put_bool(&json, foreground != NULL && in_this_process(foreground));
    json_end(&json);
}

/* ---- commands */

/* What follows the word at the start of text (after its space, or its end), or NULL. */
static const char* after_word(const char* text, const char* word) {
    while (*word != '\0' && *text == *word) ++text, ++word;
    if (*word != '\0' || (*text != ' ' && *text != '\0')) return NULL;
    return *text == ' ' ? text + 1 : text;
}

/* "<kind> <en|cs>" with a signed decimal kind: what follows it, or NULL when the arguments do not
 * start so. */
static const char* parse_show(const char* args, int* kind, int* is_chinese) {
    int negative = 0, digits = 0, value = 0;
    const char* rest;
    if (args == NULL) return NULL;
    if (*args == '-') negative = 1, ++args;
    for (; *args >= '0' && *args <= '9' && digits < 6; ++args, ++digits)
        value = value * 10 + (*args - '0');
    if (digits == 0 || *args++ != ' ') return NULL;
    *kind = negative ? -value : value;
    rest = after_word(args, "cs");
    *is_chinese = rest != NULL;
    return rest != NULL ? rest : after_word(args, "en");
}

/* "<none|own|orphan> [folder]" of a request: 0 when the arguments are not that. */
static int parse_options(const char* args, HWND* owner, const char** folder) {
    const char* rest;
    if ((rest = after_word(args, "none")) != NULL) {
        *owner = NULL;
    } else if ((rest = after_word(args, "own")) != NULL) {
        *owner = own_window;
    } else if ((rest = after_word(args, "orphan")) != NULL) {
        *owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    } else {
        return 0;
    }
    *folder = *rest != '\0' ? rest : NULL;
    return 1;
}

static void show(const char* verb, const char* args, char* line) {
    int kind = 0, is_chinese = 0, request, result;
    const int blocking = equal(verb, "show-blocking"), version2 = equal(verb, "request");
    const char* rest = parse_show(args, &kind, &is_chinese);
    const char* folder = NULL;
    HWND owner = NULL;
    Json json;
    if (rest == NULL || (version2 ? !parse_options(rest, &owner, &folder) : *rest != '\0')) {
        json_event(&json, "error");
        put(&json, ",\"line\":");
        put_string(&json, line);
        json_end(&json);
        return;
    }
    if (blocking) SetForegroundWindow(own_window);
    request = (int)InterlockedIncrement(&request_count);
    if (blocking) {
        ResetEvent(blocking_done);
        InterlockedExchange(&blocking_request, request);
    }
    result = version2 ? dialog_host_request(kind, is_chinese, owner, folder, request)
                      : dialog_host_show(kind, is_chinese, !equal(verb, "show-without-callback"),
                                         request);
    if (owner != NULL && owner != own_window) DestroyWindow(owner);
    if (result == DIALOG_HOST_UNSUPPORTED) {
        json_event(&json, "error");
        put(&json, ",\"line\":");
        put_string(&json, line);
        json_end(&json);
        return;
    }
    json_event(&json, "requested");
    put(&json, ",\"request\":");
    put_int(&json, request);
    put(&json, ",\"kind\":");
    put_int(&json, kind);
    if (result != DIALOG_HOST_NO_RESULT) {
        put(&json, ",\"result\":");
        put_int(&json, result);
    }
    json_end(&json);
    if (blocking) {
        /* no message is taken meanwhile: the dialog must come up beside a window that does not
         * answer */
        if (result == DIALOG_HOST_NO_RESULT || result == 0)
            WaitForSingleObject(blocking_done, INFINITE);
        InterlockedExchange(&blocking_request, 0);
        json_event(&json, "unblocked");
        json_end(&json);
    }
}

/* Returns 0 on "quit". line is changed: the verb ends at its first space. */
static int execute(char* line) {
    static wchar_t title[TITLE_SIZE];
    static char whole[LINE_SIZE];
    char* args = line;
    int library = 0, header = 0;
    Json json;
    copy(whole, line, LINE_SIZE);
    while (*args != '\0' && *args != ' ') ++args;
    if (*args == ' ') {
        *args++ = '\0';
    } else {
        args = NULL;
    }
    title[0] = L'\0';
    if (args != NULL && MultiByteToWideChar(CP_UTF8, 0, args, -1, title, TITLE_SIZE) == 0)
        title[0] = L'\0';

    if (equal(line, "show") || equal(line, "show-without-callback") ||
        equal(line, "show-blocking") || equal(line, "request")) {
        show(line, args, whole);
        return 1;
    }
    if (equal(line, "hold-callbacks") || equal(line, "release-callbacks")) {
        if (equal(line, "hold-callbacks")) {
            ResetEvent(callbacks_released);
        } else {
            SetEvent(callbacks_released);
        }
        json_event(&json, line);
    } else if (equal(line, "active")) {
        dialog_host_activate();
        json_event(&json, "active");
    } else if (equal(line, "foreground-own-window")) {
        SetForegroundWindow(own_window);
        report_foreground(line);
        return 1;
    } else if (equal(line, "foreground?")) {
        report_foreground("foreground");
        return 1;
    } else if (equal(line, "window") && args != NULL) {
        TitleSearch search;
        search.title = title;
        json_begin(&search.handles);
        json_begin(&search.own);
        json_begin(&search.with_icon);
        int small_icon;
        EnumWindows(find_titled, (LPARAM)&search);
        small_icon = search.with_icon.used > 0;
        json_event(&json, "window");
        put(&json, ",\"title\":");
        put_string(&json, args);
        put_list(&json, "handles", &search.handles);
        put_list(&json, "own", &search.own);
        put_list(&json, "with_icon", &search.with_icon);
        put(&json, ",\"small_icon\":");
        put_bool(&json, small_icon);
    } else if (equal(line, "edit") && args != NULL) {
        HWND dialog = FindWindowW(NULL, title);
        Json texts;
        json_begin(&texts);
        if (dialog != NULL) EnumChildWindows(dialog, find_edits, (LPARAM)&texts);
        json_event(&json, "edit");
        put_list(&json, "texts", &texts);
    } else if (equal(line, "abi") && dialog_host_abi(&library, &header)) {
        json_event(&json, "abi");
        put(&json, ",\"library\":");
        put_int(&json, library);
        put(&json, ",\"header\":");
        put_int(&json, header);
    } else if (equal(line, "quit")) {
        json_event(&json, "bye");
        json_end(&json);
        return 0;
    } else {
        json_event(&json, "error");
        put(&json, ",\"line\":");
        put_string(&json, whole);
    }
    json_end(&json);
    return 1;
}

/* ---- the reader thread and the window thread */

static void queue_line(const char* line) {
    EnterCriticalSection(&input_lock);
    if (pending_count < MAX_PENDING) copy(pending[pending_count++], line, LINE_SIZE);
    LeaveCriticalSection(&input_lock);
    PostThreadMessageW(caller_thread, COMMAND_ARRIVED, 0, 0);
}

static DWORD WINAPI read_commands(LPVOID unused) {
    static char line[LINE_SIZE];
    static char chunk[LINE_SIZE];
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    int used = 0;
    DWORD got = 0, i;
    (void)unused;
    while (ReadFile(input, chunk, sizeof chunk, &got, NULL) && got > 0) {
        for (i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                if (used > 0 && line[used - 1] == '\r') --used;
                line[used] = '\0';
                queue_line(line);
                used = 0;
            } else if (used + 1 < LINE_SIZE) {
                line[used++] = chunk[i];
            }
        }
    }
    queue_line("quit"); /* the end of the input ends the host */
    return 0;
}

static int run(void) {
    static char lines[MAX_PENDING][LINE_SIZE];
    static WNDCLASSW window_class;
    MSG message;
    HANDLE reader;
    int running = 1;
    Json json;

    heap = GetProcessHeap();
    InitializeCriticalSection(&output_lock);
    InitializeCriticalSection(&input_lock);
    callbacks_released = CreateEventW(NULL, TRUE, TRUE, NULL);
    blocking_done = CreateEventW(NULL, TRUE, FALSE, NULL);
    caller_thread = GetCurrentThreadId();

    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"DialogHostWindow";
    RegisterClassW(&window_class);
    /* the host's own window stands in for the application window in front before a dialog */
    own_window = CreateWindowExW(0, window_class.lpszClassName, L"Dialog Host",
                                 WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, NULL, NULL,
                                 window_class.hInstance, NULL);
    PeekMessageW(&message, NULL, 0, 0, PM_NOREMOVE); /* the thread's queue must exist first */
    json_event(&json, "ready");
    put(&json, ",\"thread\":");
    put_unsigned(&json, caller_thread);
    put(&json, ",\"window\":");
    put_bool(&json, own_window != NULL);
    json_end(&json);

    reader = CreateThread(NULL, 0, read_commands, NULL, 0, NULL);
    if (reader != NULL) CloseHandle(reader);
    while (running && GetMessageW(&message, NULL, 0, 0) > 0) {
        if (message.hwnd == NULL && message.message == COMMAND_ARRIVED) {
            int count, i;
            EnterCriticalSection(&input_lock);
            count = pending_count;
            for (i = 0; i < count; ++i) copy(lines[i], pending[i], LINE_SIZE);
            pending_count = 0;
            LeaveCriticalSection(&input_lock);
            for (i = 0; i < count && running; ++i) running = execute(lines[i]);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (own_window != NULL) DestroyWindow(own_window);
    return 0;
}

/* The library's threads may still run: both entries end the process without unwinding past them. */
void WINAPI dialog_host_entry(void) { ExitProcess((UINT)run()); }

int main(void) {
    ExitProcess((UINT)run());
    return 0;
}
