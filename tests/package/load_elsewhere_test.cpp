// A host whose own folder holds no runtime DLL loads the shipped Quorlin.dll from its folder, the
// way the README tells host developers to.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "quorlin_c.h"

namespace {

std::wstring shippedQuorlin() {
    std::wstring path = L"Z:" SHIPPED_DIR L"/Quorlin.dll";
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

TEST(LoadElsewhere, LoadLibraryExW_FindsRuntimeDlls_WithAlteredSearchPath) {
    // the plain call looks for the runtime DLLs beside the host, where there are none
    const HMODULE plain = LoadLibraryW(shippedQuorlin().c_str());
    EXPECT_EQ(plain, nullptr);
    if (plain != nullptr) FreeLibrary(plain);

    const HMODULE module =
        LoadLibraryExW(shippedQuorlin().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    const auto abiVersion = reinterpret_cast<decltype(&quorlin_abi_version)>(
        reinterpret_cast<void*>(GetProcAddress(module, "quorlin_abi_version")));
    ASSERT_NE(abiVersion, nullptr);
    EXPECT_EQ(abiVersion(), QUORLIN_ABI_VERSION);
    FreeLibrary(module);
}

}  // namespace
