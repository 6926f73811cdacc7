#pragma once
// One owner type per kind of platform handle the dialog library holds; nothing is closed by hand.

#include <windows.h>

#include <objbase.h>
#include <process.h>

#include <memory>

namespace handles {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// ExtractIconW answers a file that is not an icon source with the pseudo-handle 1, which must not
// be destroyed.
struct IconDestroyer {
    void operator()(HICON icon) const {
        if (icon != reinterpret_cast<HICON>(1)) DestroyIcon(icon);
    }
};

struct CoTaskMemFreer {
    void operator()(void* memory) const { CoTaskMemFree(memory); }
};

struct VirtualMemoryFreer {
    void operator()(void* memory) const { VirtualFree(memory, 0, MEM_RELEASE); }
};

struct ComReleaser {
    void operator()(IUnknown* object) const { object->Release(); }
};

}  // namespace handles

using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, handles::HandleCloser>;
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, handles::IconDestroyer>;
using CoTaskMemString = std::unique_ptr<wchar_t, handles::CoTaskMemFreer>;
using UniqueVirtualMemory = std::unique_ptr<void, handles::VirtualMemoryFreer>;
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, handles::ComReleaser>;

// COM for one thread, single-threaded apartment as the shell dialogs want it.
class ComApartment {
public:
    ComApartment() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment() {
        if (initialised_) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    explicit operator bool() const { return initialised_; }

private:
    bool initialised_;
};
