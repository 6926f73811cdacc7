/* The dialog library's plain C interface: the same dialogs, worker and one-dialog-at-a-time rule as
 * the exports of quorlin.h, for hosts that are not built with this library's own toolchain and C++
 * runtime (MSVC, clang-cl, libc++, or a host in C, C#, Python, Rust, Go...). Only C types cross it.
 *
 * Version 2: quorlin_request(kind, is_chinese, options, callback, user) asks for one dialog and
 * returns at once:
 *   - QUORLIN_OK when the request was accepted. Its callback is then called exactly once, on a
 *     thread of the library (never on the caller's thread), with what happened:
 *       QUORLIN_CHOSEN     the user chose: directory and names (count >= 1) hold the choice;
 *       QUORLIN_CANCELLED  the user closed the dialog without choosing;
 *       QUORLIN_REFUSED    another dialog of this library was open (it is brought to the front);
 *       QUORLIN_FAILED     the dialog could not be shown or read; error is the platform's error
 *                          code (an HRESULT, for example 0x80070578 when the owner window was
 *                          destroyed while the request waited its turn);
 *     error is 0 for every status but QUORLIN_FAILED, and directory "" and count 0 for every
 *     status but QUORLIN_CHOSEN.
 *   - QUORLIN_ERROR_KIND for a kind outside 0 to 4, QUORLIN_ERROR_OPTIONS for options it cannot
 *     take (below), QUORLIN_ERROR_THREAD when no thread can be started: nothing was queued and no
 *     callback ever comes for this call.
 * options may be NULL. Otherwise its size is sizeof(quorlin_options) as the caller's header has it:
 * the record of an earlier version is shorter and its missing fields count as NULL; a size smaller
 * than the size field or larger than this version's record is refused (the caller would count on
 * fields this library does not know). owner, when not NULL, must be a window (an HWND): the dialog
 * is owned by it and the owner is disabled while the dialog is open, as for any modal dialog
 * (Windows then joins the input of the owner's thread and the dialog's: the owner's thread must
 * keep taking its messages). folder, when not NULL or "", is a UTF-8 folder to open in; text that
 * is not UTF-8 is refused, a folder that does not exist is ignored.
 *
 * Version 1: quorlin_show(kind, is_chinese, callback, user), unchanged. QUORLIN_OK means accepted;
 * the callback then comes once, except when the library cannot prepare a thread for dialogs at all
 * (then no callback comes). QUORLIN_ERROR_KIND and QUORLIN_ERROR_THREAD as above. A cancelled
 * dialog, a request refused because another dialog of this library is open (that dialog is then
 * brought to the front) and a dialog that failed to show give "" and count 0.
 *
 * Both callbacks receive the chosen directory and names as UTF-8 with backslashes; names[count] is
 * NULL, and names is never NULL. The items chosen are always of one folder: a dialog refuses a
 * selection of several folders while it is open and asks the user to choose within one. The
 * strings belong to the library and stay valid only until the callback returns: copy what you
 * keep. A NULL callback is allowed: the dialog is shown and nothing is called.
 *
 * The callback runs while the library's lock is held: dialogs are shown one after the other, so it
 * must not wait for the result of another dialog of this library (that dialog cannot open until the
 * callback has returned). It may start new requests. It must not unwind through the library (no
 * C++ exception, no longjmp out of it).
 *
 * quorlin_activate() brings the library's open dialog, if any, to the front (or the message box it
 * shows, when the user must answer that first); any thread may call it. quorlin_abi_version()
 * returns the QUORLIN_ABI_VERSION the DLL was built with. A DLL of version N offers every earlier
 * version's functions unchanged: before the first request, refuse a DLL whose version is lower than
 * the header's you use.
 *
 * Two DLLs offer this interface. QuorlinC.dll (import library QuorlinC.lib) needs nothing beside it
 * but system DLLs: the one for C hosts and MSVC-ABI hosts. Quorlin.dll, which also has the C++
 * exports, needs its runtime DLLs (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll)
 * beside it: put them all beside the host, or load Quorlin.dll by full path with
 * LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH). */
#ifndef QUORLIN_C_H
#define QUORLIN_C_H

#include <stddef.h>

#define QUORLIN_ABI_VERSION 2

/* Dialog kinds. */
#define QUORLIN_UPLOAD_FILES 0     /* files to upload */
#define QUORLIN_UPLOAD_FOLDERS 1   /* folders to upload */
#define QUORLIN_SAVE_PATH 2        /* the folder to save into */
#define QUORLIN_TRANSFER_FILES 3   /* files to transfer */
#define QUORLIN_TRANSFER_FOLDERS 4 /* folders to transfer */

/* Results of quorlin_show and quorlin_request. */
#define QUORLIN_OK 0
#define QUORLIN_ERROR_KIND 1
#define QUORLIN_ERROR_THREAD 2
#define QUORLIN_ERROR_OPTIONS 3 /* quorlin_request only */

/* What happened to a request of quorlin_request, as its callback receives it. */
#define QUORLIN_CHOSEN 0
#define QUORLIN_CANCELLED 1
#define QUORLIN_REFUSED 2
#define QUORLIN_FAILED 3

#ifdef QUORLIN_BUILDING
#define QUORLIN_C_API __declspec(dllexport)
#else
#define QUORLIN_C_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Version 1. */
typedef void (*quorlin_callback)(void* user, const char* directory, const char* const* names,
                                 size_t count);

QUORLIN_C_API int quorlin_show(int kind, int is_chinese, quorlin_callback callback, void* user);

/* Version 2. Later versions add fields at the end only. */
typedef struct quorlin_options {
    size_t size;        /* sizeof(quorlin_options) */
    void* owner;        /* HWND that owns the dialog, or NULL */
    const char* folder; /* UTF-8 folder to open in, or NULL */
} quorlin_options;

typedef void (*quorlin_result_callback)(void* user, int status, long error, const char* directory,
                                        const char* const* names, size_t count);

QUORLIN_C_API int quorlin_request(int kind, int is_chinese, const quorlin_options* options,
                                  quorlin_result_callback callback, void* user);
QUORLIN_C_API void quorlin_activate(void);
QUORLIN_C_API int quorlin_abi_version(void);

#ifdef __cplusplus
}
#endif

#endif /* QUORLIN_C_H */
