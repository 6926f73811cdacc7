#pragma once
// The project's owners of platform handles: one type per kind, whichever program holds it, and
// nothing closed by hand. put() hands a call the place for its result, as WIL's owners do.

#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <wincrypt.h>

#include <utility>

#include "win_system_library.h"

namespace handles {

template <typename Handle>
Handle Null() {
    return nullptr;
}

// What CreateFile and FindFirstFile answer for "no handle".
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

// Memory the system allocated for us, by the allocator each call names.
template <typename Pointer>
void FreeLocal(Pointer memory) {
    LocalFree(memory);
}
template <typename Pointer>
void FreeGlobal(Pointer memory) {
    GlobalFree(memory);
}
inline void FreeCoTask(PWSTR memory) { CoTaskMemFree(memory); }

// ExtractIconW answers a file that is not an icon source with the pseudo-handle 1, which must not
// be destroyed.
inline void DestroyExtractedIcon(HICON icon) {
    if (icon != reinterpret_cast<HICON>(1)) DestroyIcon(icon);
}

template <typename Interface>
void ReleaseCom(Interface* object) {
    object->Release();
}

// crypt32 is loaded at run time: a store or context exists only once it is, and is released
// through it.
inline void CloseCertStore(HCERTSTORE store) {
    if (const auto close = SYSTEM_FUNCTION(kCrypt32, CertCloseStore)) close(store, 0);
}
inline void CloseCryptMsg(HCRYPTMSG message) {
    if (const auto close = SYSTEM_FUNCTION(kCrypt32, CryptMsgClose)) close(message);
}
inline void FreeCertContext(PCCERT_CONTEXT context) {
    if (const auto release = SYSTEM_FUNCTION(kCrypt32, CertFreeCertificateContext))
        release(context);
}

// Owns one handle and releases it with Close unless it holds Empty(). Move-only; the names follow
// std::unique_ptr.
template <typename Handle, auto Close, Handle (*Empty)() = Null<Handle>>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(Handle owned) : handle(owned) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : handle(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    Handle get() const { return handle; }
    Handle operator->() const { return handle; }
    explicit operator bool() const { return handle != Empty(); }
    // Releases what it holds and hands out the place for a new handle, for a call that answers
    // through a pointer: RegOpenKeyExW(root, name, 0, access, key.put()).
    Handle* put() {
        reset();
        return &handle;
    }
    // Gives the handle up without releasing it.
    Handle release() { return std::exchange(handle, Empty()); }
    void reset(Handle next = Empty()) {
        const Handle previous = std::exchange(handle, next);
        if (previous != Empty()) {
            Close(previous);
        }
    }

private:
    Handle handle = Empty();
};

}  // namespace handles

// A kernel object that is null when there is none (processes, threads, events, pipes).
using UniqueHandle = handles::UniqueAny<HANDLE, CloseHandle>;
// A file opened with CreateFile, which answers INVALID_HANDLE_VALUE when it fails.
using UniqueFileHandle = handles::UniqueAny<HANDLE, CloseHandle, handles::InvalidHandleValue>;
// A directory search, which FindFirstFile answers with INVALID_HANDLE_VALUE when it fails.
using UniqueFindHandle = handles::UniqueAny<HANDLE, FindClose, handles::InvalidHandleValue>;
// Memory that LocalAlloc gave (a security descriptor from its string form, say).
using UniqueLocalMemory = handles::UniqueAny<HLOCAL, LocalFree>;
// A text that LocalAlloc gave (a SID's string form).
using UniqueLocalText = handles::UniqueAny<LPWSTR, handles::FreeLocal<LPWSTR>>;
using UniqueModule = handles::UniqueAny<HMODULE, FreeLibrary>;
using UniqueWindow = handles::UniqueAny<HWND, DestroyWindow>;
using UniqueIcon = handles::UniqueAny<HICON, handles::DestroyExtractedIcon>;
// A text the shell hands over (a known folder's path, a chosen item's path).
using UniqueCoTaskText = handles::UniqueAny<PWSTR, handles::FreeCoTask>;
// A COM interface pointer, released once.
template <typename Interface>
using ComPtr = handles::UniqueAny<Interface*, handles::ReleaseCom<Interface>>;
using UniqueHkey = handles::UniqueAny<HKEY, RegCloseKey>;
// CommandLineToArgvW's list.
using UniqueArgumentList = handles::UniqueAny<LPWSTR*, handles::FreeLocal<LPWSTR*>>;
// A text WinINet hands over (a per-connection option's value).
using UniqueGlobalText = handles::UniqueAny<LPWSTR, handles::FreeGlobal<LPWSTR>>;
using UniqueCertStore = handles::UniqueAny<HCERTSTORE, handles::CloseCertStore>;
using UniqueCryptMsg = handles::UniqueAny<HCRYPTMSG, handles::CloseCryptMsg>;
using UniqueCertContext = handles::UniqueAny<PCCERT_CONTEXT, handles::FreeCertContext>;
