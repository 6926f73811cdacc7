/* The start of a C program of the MSVC ABI over msvcrt.dll alone, in place of MSVC's start-up code
 * (vcruntime), which is not installable here: the arguments from msvcrt.dll, then main, then exit
 * (which flushes stdio). */
int main(int argc, char** argv);
int __cdecl __getmainargs(int* argc, char*** argv, char*** env, int expand_wildcards,
                          int* start_info);
void __cdecl exit(int status);

void example_entry(void) {
    int argc = 0;
    char** argv = 0;
    char** env = 0;
    int start_info = 0; /* _startupinfo: new mode 0 */
    __getmainargs(&argc, &argv, &env, 0, &start_info);
    exit(main(argc, argv));
}
