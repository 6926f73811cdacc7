// The Windows side of the driver's platform seams, on real files.
#include <gtest/gtest.h>

#include <windows.h>

#include "expected_report.h"
#include "language_setting.h"
#include "platform.h"
#include "wine_support.h"

namespace {

std::string CertificateFile(const char* name) {
    return ReadFileBytes(WindowsPath(CERTIFICATE_DIR) + "\\" + name);
}

std::string RandomBytes() {
    std::string random;
    unsigned state = 12345;
    for (int i = 0; i < 700; ++i) {
        state = state * 1103515245u + 12345u;
        random += static_cast<char>(state >> 24);
    }
    return random;
}

TEST(WinPlatformTest, ReadProfileString_ReadsTheLanguageKeyOfSectionSetting) {
    const std::string setting = "[setting]\r\nlanguage=Simpchinese\r\n";
    // padded with comment lines to the size limit, and one byte beyond it
    const std::string atLimit =
        setting + ";" + std::string(kLongestSettingsFile - setting.size() - 3, 'x') + "\r\n";
    const std::string overLimit = atLimit + ";";
    const struct {
        const char* contents;  // nullptr: no file
        const char* value;
        const char* language;
    } cases[] = {
        {atLimit.c_str(), "Simpchinese", "cs"},
        {overLimit.c_str(), "", "en"},
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
    // in a folder named outside the ANSI code page ("传输"), given in UTF-8
    const std::wstring wideFolder = Wide(folder.Path()) + L"\u4F20\u8F93\\";
    ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
    const std::wstring wideFile = wideFolder + L"Lang_config.cfg";
    const std::string file = folder.Path() + "\xE4\xBC\xA0\xE8\xBE\x93\\Lang_config.cfg";
    for (const auto& c : cases) {
        DeleteFileW(wideFile.c_str());
        if (c.contents != nullptr) {
            ASSERT_TRUE(WriteFileBytes(wideFile, c.contents));
        }
        const std::string value =
            ReadProfileString(file, "setting", "language", kLongestSettingsFile);
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
        {"valid PEM", CertificateFile("valid.pem"), CertificateStatus::Valid},
        {"valid PEM, CR LF", Crlf(CertificateFile("valid.pem")), CertificateStatus::Valid},
        {"valid DER", CertificateFile("valid.der"), CertificateStatus::Valid},
        {"chain", CertificateFile("chain.pem"), CertificateStatus::Valid},
        {"key, certificate", CertificateFile("key_then_certificate.pem"), CertificateStatus::Valid},
        {"certificate, key", CertificateFile("certificate_then_key.pem"), CertificateStatus::Valid},
        {"chain, valid first", CertificateFile("chain_valid_expired.pem"),
         CertificateStatus::Valid},
        {"key, chain expired first", CertificateFile("key_chain_expired_valid.pem"),
         CertificateStatus::NotValidNow},
        {"key only", CertificateFile("key_only.pem"), CertificateStatus::Unloadable},
        {"expired", CertificateFile("expired.pem"), CertificateStatus::NotValidNow},
        {"not yet valid", CertificateFile("future.pem"), CertificateStatus::NotValidNow},
        {"PKCS7 with a certificate", CertificateFile("pkcs7_expired.p7b"),
         CertificateStatus::NotValidNow},
        {"CRL", CertificateFile("crl.pem"), CertificateStatus::NoCertificate},
        {"PKCS7 without certificate", CertificateFile("pkcs7_no_certificate.p7b"),
         CertificateStatus::NoCertificate},
        {"text", "not a certificate\r\n", CertificateStatus::Unloadable},
        {"random bytes", RandomBytes(), CertificateStatus::Unloadable},
        {"empty", "", CertificateStatus::Unloadable},
    };
    TempFolder folder;
    // the same folder name; its UTF-8 path reaches the wide calls
    const std::wstring wideFolder = Wide(folder.Path()) + L"\u4F20\u8F93\\";
    ASSERT_TRUE(CreateDirectoryW(wideFolder.c_str(), nullptr));
    const std::string subfolder = folder.Path() + "\xE4\xBC\xA0\xE8\xBE\x93\\";
    for (const auto& c : cases) {
        const std::string path = subfolder + "localhost_brevant_io.pem";
        ASSERT_TRUE(WriteFileBytes(wideFolder + L"localhost_brevant_io.pem", c.contents)) << c.name;
        EXPECT_EQ(QueryCertificateFile(path), c.status) << c.name;
    }
    EXPECT_EQ(QueryCertificateFile(subfolder + "missing.pem"), CertificateStatus::Unloadable);
    EXPECT_EQ(QueryCertificateFile(folder.Path().substr(0, folder.Path().size() - 1)),
              CertificateStatus::Unloadable);
}

TEST(WinPlatformTest, ModuleFileName_NamesThisProgram) {
    const std::string path = ModuleFileName();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    EXPECT_TRUE(FileExists(path));
}

}  // namespace
