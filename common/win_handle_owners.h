#pragma once
// The project's owners of platform handles: one type per kind, whichever program holds it, and
// nothing closed by hand. Kinds that only one program holds (the tool's registry keys and
// certificates) are declared beside it, on the same template.

#include <windows.h>

#include <objbase.h>

#include <utility>

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

// A kernel object that is null when there is none (processes, threads, events, pipes).
using UniqueHandle = handles::UniqueAny<HANDLE, CloseHandle>;
// A file opened with CreateFile, which answers INVALID_HANDLE_VALUE when it fails.
using UniqueFileHandle = handles::UniqueAny<HANDLE, CloseHandle, handles::InvalidHandleValue>;
// A directory search, which FindFirstFile answers with INVALID_HANDLE_VALUE when it fails.
using UniqueFindHandle = handles::UniqueAny<HANDLE, FindClose, handles::InvalidHandleValue>;
// Memory that LocalAlloc gave (a security descriptor from its string form, say).
using UniqueLocalMemory = handles::UniqueAny<HLOCAL, LocalFree>;
using UniqueModule = handles::UniqueAny<HMODULE, FreeLibrary>;
using UniqueWindow = handles::UniqueAny<HWND, DestroyWindow>;
using UniqueIcon = handles::UniqueAny<HICON, handles::DestroyExtractedIcon>;
// A text the shell hands over (a known folder's path, a chosen item's path).
using UniqueCoTaskText = handles::UniqueAny<PWSTR, handles::FreeCoTask>;
// A COM interface pointer, released once.
template <typename Interface>
using ComPtr = handles::UniqueAny<Interface*, handles::ReleaseCom<Interface>>;
