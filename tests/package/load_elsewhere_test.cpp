// A host whose own folder holds no runtime DLL loads the shipped Quorlin.dll from its folder, the
// way the integration guide tells host developers to, and QuorlinC.dll with a plain LoadLibraryW.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "quorlin_c.h"

namespace {

std::wstring shippedQuorlin(const wchar_t* name = L"Quorlin.dll") {
    std::wstring path = L"Z:" SHIPPED_DIR L"/";
    path += name;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// the loaded library's quorlin_abi_version(), or -1 when it has none
int abiVersionOf(HMODULE module) {
    const auto abiVersion = reinterpret_cast<decltype(&quorlin_abi_version)>(
        reinterpret_cast<void*>(GetProcAddress(module, "quorlin_abi_version")));
    return abiVersion == nullptr ? -1 : abiVersion();
}

TEST(LoadElsewhere, LoadLibraryExW_FindsRuntimeDlls_WithAlteredSearchPath) {
    // the plain call looks for the runtime DLLs beside the host, where there are none
    const HMODULE plain = LoadLibraryW(shippedQuorlin().c_str());
    EXPECT_EQ(plain, nullptr);
    if (plain != nullptr) FreeLibrary(plain);

    const HMODULE module =
        LoadLibraryExW(shippedQuorlin().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    EXPECT_EQ(abiVersionOf(module), QUORLIN_ABI_VERSION);
    FreeLibrary(module);
}

TEST(LoadElsewhere, LoadLibraryW_LoadsSelfContainedQuorlinC_WithNothingBesideHost) {
    const HMODULE module = LoadLibraryW(shippedQuorlin(L"QuorlinC.dll").c_str());
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    EXPECT_EQ(abiVersionOf(module), QUORLIN_ABI_VERSION);
    FreeLibrary(module);
}

}  // namespace
