/* Asks QuorlinC.dll for one dialog through its C interface (version 2) and prints what the
 * callback receives as one JSON line, as example_host.cpp does over the C++ exports, with the
 * request's outcome: {"status":"chosen","directory":"C:\\work","names":["a.txt","b.txt"]}.
 * Usage: quorlin_example_host_c <kind 0-4> <en|cs> [seconds to wait, 300 if not given]
 * Exit status 0 once the callback came; 1 when none came in time or the request was refused; 2 on
 * a wrong command line or a DLL older than the header. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quorlin_c.h"

static void print_json_string(const char* text) {
    const unsigned char* c;
    putchar('"');
    for (c = (const unsigned char*)text; *c != '\0'; ++c) {
        if (*c == '"' || *c == '\\') {
            printf("\\%c", *c);
        } else if (*c < 0x20) {
            printf("\\u%04x", *c);
        } else {
            putchar(*c); /* UTF-8 passes through */
        }
    }
    putchar('"');
}

static const char* const status_names[] = {"chosen", "cancelled", "refused", "failed"};

/* Runs on the library's thread. The strings are the library's and last only until this returns:
 * print (or copy) them here. */
static void on_result(void* user, int status, long error, const char* directory,
                      const char* const* names, size_t count) {
    size_t i;
    fputs("{\"status\":", stdout);
    print_json_string(status >= QUORLIN_CHOSEN && status <= QUORLIN_FAILED ? status_names[status]
                                                                           : "unknown");
    if (status == QUORLIN_FAILED) printf(",\"error\":\"0x%08lx\"", (unsigned long)error);
    fputs(",\"directory\":", stdout);
    print_json_string(directory);
    fputs(",\"names\":[", stdout);
    for (i = 0; i < count; ++i) {
        if (i > 0) putchar(',');
        print_json_string(names[i]);
    }
    fputs("]}\n", stdout);
    fflush(stdout);
    SetEvent((HANDLE)user);
}

int main(int argc, char** argv) {
    const int seconds = argc == 4 ? atoi(argv[3]) : 300;
    quorlin_options options;
    HANDLE answered;
    int refused;
    if ((argc != 3 && argc != 4) || strlen(argv[1]) != 1 || argv[1][0] < '0' || argv[1][0] > '4' ||
        (strcmp(argv[2], "en") != 0 && strcmp(argv[2], "cs") != 0) || seconds <= 0) {
        fputs("usage: quorlin_example_host_c <kind 0-4> <en|cs> [seconds]\n", stderr);
        return 2;
    }
    if (quorlin_abi_version() < QUORLIN_ABI_VERSION) {
        fprintf(stderr, "QuorlinC.dll offers interface version %d, this host needs %d\n",
                quorlin_abi_version(), QUORLIN_ABI_VERSION);
        return 2;
    }
    /* never closed: a callback that comes after main has given up still finds it */
    answered = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (answered == NULL) return 1;
    /* the record's size is this header's; a host with a window names it as owner, and may name a
     * UTF-8 folder to open in */
    options.size = sizeof options;
    options.owner = NULL;
    options.folder = NULL;
    refused = quorlin_request(argv[1][0] - '0', strcmp(argv[2], "cs") == 0, &options, on_result,
                              answered);
    if (refused != QUORLIN_OK) {
        fprintf(stderr, "the library refused the request (%d)\n", refused);
        return 1;
    }
    if (WaitForSingleObject(answered, (DWORD)seconds * 1000) == WAIT_OBJECT_0) return 0;
    fprintf(stderr, "no answer from the dialog within %d s\n", seconds);
    return 1; /* leaving ends the library's threads with the process, its dialog with them */
}
