// The Windows side of the driver's platform seams, on real files.
#include <gtest/gtest.h>

#include <windows.h>

#include <optional>

#include "language_setting.h"
#include "platform.h"
#include "win_text.h"
#include "wine_support.h"

namespace {

std::string CertificateFile(const char* name) {
    return ReadFileBytes(WindowsPath(CERTIFICATE_DIR) + "\\" + name);
}

// "传输", a folder name that the ANSI code page here (1252) cannot hold, in UTF-8.
const char kChineseFolder[] = "\xE4\xBC\xA0\xE8\xBE\x93";

// A subfolder of folder named in UTF-8, made through the wide call; its UTF-8 path with a trailing
// backslash.
std::string MakeUtf8Subfolder(const TempFolder& folder, const std::string& name) {
    const std::string path = folder.Path() + name + "\\";
    const std::optional<std::wstring> wide = Utf16FromUtf8(path);
    EXPECT_TRUE(wide && CreateDirectoryW(wide->c_str(), nullptr)) << path;
    return path;
}

bool WriteUtf8PathFile(const std::string& path, const std::string& bytes) {
    const std::optional<std::wstring> wide = Utf16FromUtf8(path);
    return wide && WriteFileBytes(*wide, bytes);
}

bool DeleteUtf8PathFile(const std::string& path) {
    const std::optional<std::wstring> wide = Utf16FromUtf8(path);
    return wide && DeleteFileW(wide->c_str());
}

TEST(WinPlatformTest, ReadProfileString_ReadsTheLanguageKeyOfSectionSetting) {
    const struct {
        const char* contents;  // nullptr: no file
        const char* value;
        const char* language;
    } cases[] = {
        {"[setting]\r\nlanguage=Simpchinese\r\n", "Simpchinese", "cs"},
        {"[setting]\nlanguage=SIMPCHINESE", "SIMPCHINESE", "cs"},
        {"[Setting]\nLanguage = simpchinese \n", "simpchinese", "cs"},
        {"[other]\nlanguage=Simpchinese\n[setting]\nlanguage=English\n", "English", "en"},
        {"[setting]\nlang=Simpchinese\n", "", "en"},
        {"[settings]\nlanguage=Simpchinese\n", "", "en"},
        {"language=Simpchinese\n", "", "en"},
        {"[setting]\nlanguage=Simpchinese-and-a-very-long-tail-beyond-31\n",
         "Simpchinese-and-a-very-long-tai", "en"},
        {"", "", "en"},
        {nullptr, "", "en"},
    };
    TempFolder folder;
    const std::string file = MakeUtf8Subfolder(folder, kChineseFolder) + "Lang_config.cfg";
    for (const auto& c : cases) {
        DeleteUtf8PathFile(file);
        if (c.contents != nullptr) {
            ASSERT_TRUE(WriteUtf8PathFile(file, c.contents));
        }
        const std::string value = ReadProfileString(file, "setting", "language");
        const char* shown = c.contents ? c.contents : "(no file)";
        EXPECT_EQ(value, c.value) << shown;
        EXPECT_EQ(LanguageFromSetting(value), c.language) << shown;
    }
}

TEST(WinPlatformTest, QueryCertificateFile_TellsEveryOutcomeApart) {
    const struct {
        const char* name;
        std::string contents;
        CertificateStatus status;
    } cases[] = {
        {"valid PEM", CertificateFile("valid.pem"), CertificateStatus::kValid},
        {"valid DER", CertificateFile("valid.der"), CertificateStatus::kValid},
        {"chain", CertificateFile("chain.pem"), CertificateStatus::kValid},
        {"key, then certificate", CertificateFile("key_then_certificate.pem"),
         CertificateStatus::kValid},
        {"certificate, then key", CertificateFile("certificate_then_key.pem"),
         CertificateStatus::kValid},
        {"chain, valid then expired", CertificateFile("chain_valid_expired.pem"),
         CertificateStatus::kValid},
        {"key, chain expired then valid", CertificateFile("key_chain_expired_valid.pem"),
         CertificateStatus::kNotValidNow},
        {"key only", CertificateFile("key_only.pem"), CertificateStatus::kUnloadable},
        {"expired", CertificateFile("expired.pem"), CertificateStatus::kNotValidNow},
        {"not yet valid", CertificateFile("future.pem"), CertificateStatus::kNotValidNow},
        {"PKCS7 with a certificate", CertificateFile("pkcs7_expired.p7b"),
         CertificateStatus::kNotValidNow},
        {"CRL", CertificateFile("crl.pem"), CertificateStatus::kNoCertificate},
        {"PKCS7 without certificate", CertificateFile("pkcs7_no_certificate.p7b"),
         CertificateStatus::kNoCertificate},
        {"text", "not a certificate\r\n", CertificateStatus::kUnloadable},
        {"empty", "", CertificateStatus::kUnloadable},
    };
    TempFolder folder;
    // a folder name outside ASCII goes in UTF-8 to the wide path
    const std::string subfolder = MakeUtf8Subfolder(folder, kChineseFolder);
    for (const auto& c : cases) {
        const std::string path = subfolder + "localhost_brevant_io.pem";
        ASSERT_TRUE(WriteUtf8PathFile(path, c.contents)) << c.name;
        EXPECT_EQ(QueryCertificateFile(path), c.status) << c.name;
    }
    EXPECT_EQ(QueryCertificateFile(subfolder + "missing.pem"), CertificateStatus::kUnloadable);
    EXPECT_EQ(QueryCertificateFile(folder.Path().substr(0, folder.Path().size() - 1)),
              CertificateStatus::kUnloadable);
}

TEST(WinPlatformTest, ModuleFileName_NamesThisProgram) {
    const std::string path = ModuleFileName();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    EXPECT_TRUE(FileExists(path));
}

TEST(WinPlatformTest, Utf8AndUtf16_ConvertWholeOrNotAtAll) {
    const struct {
        std::wstring wide;
        std::optional<std::string> utf8;
    } toUtf8[] = {
        {L"C:\\tools\\", std::string("C:\\tools\\")},
        {L"C:\\\u4F20\u8F93\\Caf\u00E9", std::string("C:\\\xE4\xBC\xA0\xE8\xBE\x93\\Caf\xC3\xA9")},
        {L"\xD83D\xDE00", std::string("\xF0\x9F\x98\x80")},
        {L"", std::string()},
        {std::wstring(L"C:\\a") + wchar_t(0xD800) + L"b", std::nullopt},
        {std::wstring(L"C:\\a") + wchar_t(0xDC00), std::nullopt},
    };
    for (const auto& c : toUtf8) {
        EXPECT_EQ(Utf8FromUtf16(c.wide), c.utf8) << c.wide.size();
        if (c.utf8) {
            EXPECT_EQ(Utf16FromUtf8(*c.utf8), c.wide) << *c.utf8;
        }
    }
    for (const char* invalid : {"Caf\xE9", "\xE4\xBC", "\xC0\xAF", "\xED\xA0\x80"}) {
        EXPECT_EQ(Utf16FromUtf8(invalid), std::nullopt) << invalid;
    }
}

}  // namespace
