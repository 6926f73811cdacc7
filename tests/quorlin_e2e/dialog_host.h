/* The scriptable dialog host (dialog_host.c) and its front, the one part that differs between the
 * interfaces it drives: the C interface of quorlin_c.h (built into dialog_host.c) or the C++
 * exports of quorlin.h (dialog_host_front.cpp, with DIALOG_HOST_CXX_FRONT defined). */
#ifndef DIALOG_HOST_H
#define DIALOG_HOST_H

#include <stddef.h>

/* dialog_host_show's answers besides the C interface's own results */
#define DIALOG_HOST_NO_RESULT (-1000)   /* requested; the interface reports nothing */
#define DIALOG_HOST_UNSUPPORTED (-1001) /* the interface cannot ask for this kind */

#ifdef __cplusplus
extern "C" {
#endif

/* The front. dialog_host_show asks for one dialog, with a callback that reports under the given
 * request number unless with_callback is 0; dialog_host_request the same through the second
 * version of the C interface, with its options (owner and folder may be NULL). dialog_host_abi
 * gives 0 when the interface has no ABI version to report. */
int dialog_host_show(int kind, int is_chinese, int with_callback, int request);
int dialog_host_request(int kind, int is_chinese, void* owner, const char* folder, int request);
void dialog_host_activate(void);
int dialog_host_abi(int* library, int* header);

/* The host's side, called from a callback on the library's thread. status and error as the
 * second version of the C interface tells them, status -1 when the interface tells none.
 * terminated: 1 or 0 when the interface promises names[count] == NULL and it is or is not, -1 when
 * it promises nothing. */
void dialog_host_report(int request, int status, long error, const char* directory,
                        const char* const* names, size_t count, int terminated);

#ifdef __cplusplus
}
#endif

#endif /* DIALOG_HOST_H */
