/* The dialog library's plain C interface: the same dialogs, worker and one-dialog-at-a-time rule as
 * the exports of quorlin.h, for hosts that are not built with this library's own toolchain and C++
 * runtime (MSVC, clang-cl, libc++, or a host in C, C#, Python, Rust, Go...). Only C types cross it.
 *
 * quorlin_show(kind, is_chinese, callback, user) asks for one dialog and returns at once:
 *   - QUORLIN_OK when the request was accepted. Its callback is then called exactly once, on a
 *     worker thread of the library (never on the caller's thread), unless the library cannot
 *     prepare a thread for dialogs at all, in which case no callback comes.
 *   - QUORLIN_ERROR_KIND for a kind outside 0 to 4, QUORLIN_ERROR_THREAD when no worker thread can
 *     be started: nothing was queued and no callback ever comes for this call.
 * The callback receives the chosen directory and names as UTF-8 with backslashes; names[count] is
 * NULL, and names is never NULL. A cancelled dialog, or a request refused because another dialog of
 * this library is open (that dialog is then brought to the front), gives "" and count 0. The
 * strings belong to the library and stay valid only until the callback returns: copy what you keep.
 * A NULL callback is allowed: the dialog is shown and nothing is called.
 *
 * The callback runs while the library's lock is held: dialogs are shown one after the other, so it
 * must not wait for the result of another dialog of this library (that dialog cannot open until the
 * callback has returned). It may start new requests. It must not unwind through the library (no
 * C++ exception, no longjmp out of it).
 *
 * quorlin_activate() brings the library's open dialog, if any, to the front; any thread may call
 * it. quorlin_abi_version() returns the QUORLIN_ABI_VERSION the DLL was built with: compare it with
 * the header's before the first request and refuse a DLL built for another one.
 *
 * Two DLLs offer this interface. QuorlinC.dll (import library QuorlinC.lib) needs nothing beside it
 * but system DLLs: the one for C hosts and MSVC-ABI hosts. Quorlin.dll, which also has the C++
 * exports, needs its runtime DLLs (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll)
 * beside it: put them all beside the host, or load Quorlin.dll by full path with
 * LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH). */
#ifndef QUORLIN_C_H
#define QUORLIN_C_H

#include <stddef.h>

#define QUORLIN_ABI_VERSION 1

/* Dialog kinds. */
#define QUORLIN_UPLOAD_FILES 0     /* files to upload */
#define QUORLIN_UPLOAD_FOLDERS 1   /* folders to upload */
#define QUORLIN_SAVE_PATH 2        /* the folder to save into */
#define QUORLIN_TRANSFER_FILES 3   /* files to transfer */
#define QUORLIN_TRANSFER_FOLDERS 4 /* folders to transfer */

/* Results of quorlin_show. */
#define QUORLIN_OK 0
#define QUORLIN_ERROR_KIND 1
#define QUORLIN_ERROR_THREAD 2

#ifdef QUORLIN_BUILDING
#define QUORLIN_C_API __declspec(dllexport)
#else
#define QUORLIN_C_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void (*quorlin_callback)(void* user, const char* directory, const char* const* names,
                                 size_t count);

QUORLIN_C_API int quorlin_show(int kind, int is_chinese, quorlin_callback callback, void* user);
QUORLIN_C_API void quorlin_activate(void);
QUORLIN_C_API int quorlin_abi_version(void);

#ifdef __cplusplus
}
#endif

#endif /* QUORLIN_C_H */
