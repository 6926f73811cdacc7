// Loads crypt32 and wininet the plain way, by name in the default search order, as an import
// would; exits with 0 when both loaded.
#include <windows.h>

int main() {
    const bool loaded = LoadLibraryW(L"crypt32.dll") != nullptr;
    return loaded && LoadLibraryW(L"wininet.dll") != nullptr ? 0 : 1;
}
