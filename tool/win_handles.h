#pragma once
// One owner type per kind of platform handle the tool holds; nothing is closed by hand.

#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <cstdio>
#include <utility>

namespace handles {

template <typename Handle>
Handle Null() {
    return nullptr;
}

// What CreateFile and FindFirstFile answer for "no handle".
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }

inline void CloseCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }
inline void CloseCFile(std::FILE* file) { std::fclose(file); }
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
    explicit operator bool() const { return handle != Empty(); }
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

// A kernel object that is null when there is none (processes, threads, pipes).
using UniqueHandle = handles::UniqueAny<HANDLE, CloseHandle>;
// A file opened with CreateFile, which answers INVALID_HANDLE_VALUE when it fails.
using UniqueFileHandle = handles::UniqueAny<HANDLE, CloseHandle, handles::InvalidHandleValue>;
using UniqueHkey = handles::UniqueAny<HKEY, RegCloseKey>;
using UniqueCertStore = handles::UniqueAny<HCERTSTORE, handles::CloseCertStore>;
using UniqueCryptMsg = handles::UniqueAny<HCRYPTMSG, CryptMsgClose>;
using UniqueCertContext = handles::UniqueAny<PCCERT_CONTEXT, CertFreeCertificateContext>;
using UniqueCrlContext = handles::UniqueAny<PCCRL_CONTEXT, CertFreeCRLContext>;
using UniqueCtlContext = handles::UniqueAny<PCCTL_CONTEXT, CertFreeCTLContext>;
// A C runtime stream.
using UniqueCFile = handles::UniqueAny<std::FILE*, handles::CloseCFile>;
// CommandLineToArgvW's list.
using UniqueArgumentList = handles::UniqueAny<LPWSTR*, handles::FreeLocal<LPWSTR*>>;
// A text WinINet hands over (a per-connection option's value).
using UniqueGlobalText = handles::UniqueAny<LPWSTR, handles::FreeGlobal<LPWSTR>>;
// A text the shell hands over (a known folder's path).
using UniqueCoTaskText = handles::UniqueAny<PWSTR, handles::FreeCoTask>;
