// The VERSIONINFO of the shipped binaries, as file properties and the elevation prompt read it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring shippedPath(const wchar_t* name) {
    std::wstring path = L"Z:" SHIPPED_DIR L"/";
    path += name;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

// The string of the US English, Unicode block; "" when absent.
std::wstring stringValue(const std::vector<BYTE>& info, const wchar_t* name) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return L"";
    return std::wstring(static_cast<const wchar_t*>(value));
}

struct Shipped {
    const wchar_t* name;
    const wchar_t* description;
    const char* testName;
};

void PrintTo(const Shipped& shipped, std::ostream* out) {
    for (const wchar_t* c = shipped.name; *c != L'\0'; ++c) *out << static_cast<char>(*c);
}

class ShippedVersion : public testing::TestWithParam<Shipped> {};

TEST_P(ShippedVersion, VersionInfo_CarriesProjectVersionAndNames_WhenShipped) {
    const std::wstring path = shippedPath(GetParam().name);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version resource, error " << GetLastError();
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedLength = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedLength));
    const unsigned expected[] = {PROJECT_VERSION_NUMBERS};
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), expected[0]);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), expected[1]);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), expected[2]);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);

    EXPECT_EQ(stringValue(info, L"FileVersion"), L"" PROJECT_VERSION_TEXT);
    EXPECT_EQ(stringValue(info, L"ProductVersion"), L"" PROJECT_VERSION_TEXT);
    EXPECT_EQ(stringValue(info, L"OriginalFilename"), GetParam().name);
    EXPECT_EQ(stringValue(info, L"FileDescription"), GetParam().description);
    EXPECT_EQ(stringValue(info, L"ProductName"), L"Brevant desktop companions");
    EXPECT_EQ(stringValue(info, L"CompanyName"), L"Brevant");
    EXPECT_EQ(stringValue(info, L"LegalCopyright"), L"Copyright (C) 2026 Brevant");
}

INSTANTIATE_TEST_SUITE_P(
    Binaries, ShippedVersion,
    testing::Values(Shipped{L"tool.exe", L"Brevant client check and repair tool", "Tool"},
                    Shipped{L"Quorlin.dll", L"Brevant file and folder dialogs", "Quorlin"},
                    Shipped{L"QuorlinC.dll",
                            L"Brevant file and folder dialogs (C interface, self-contained)",
                            "QuorlinC"}),
    [](const testing::TestParamInfo<Shipped>& info) { return std::string(info.param.testName); });

}  // namespace
