#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "application_name.h"
#include "certificate_block.h"
#include "platform.h"
#include "win_handles.h"
#include "win_text.h"

namespace {

// The longest path the wide calls take, in UTF-16 units.
constexpr std::size_t kLongestPath = 32768;

// CryptQueryObject crashes Wine's crypt32 on a 0-byte file, so only regular non-empty files go on.
bool IsNonEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return false;
    }
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

// A certificate file is a few kilobytes; a larger file than this is queried as it is, unread.
constexpr std::size_t kLongestPemText = 16 * 1024 * 1024;

// The machine-wide lock of tool.exe: a mutex in the global namespace, so that runs in every session
// take turns, and how long a run waits for it.
constexpr wchar_t kMachineLockName[] = L"Global\\BrevantClientCheckTool";
constexpr DWORD kMachineLockWaitMs = 60 * 1000;

// The whole file, or none when it cannot be read or is longer than longest.
std::optional<std::string> ReadWholeFile(const std::wstring& path, std::size_t longest) {
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) {
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + got > longest) {
            return std::nullopt;
        }
        bytes.append(buffer, got);
    }
    return std::nullopt;
}

class WinMachineLock : public MachineLock {
public:
    explicit WinMachineLock(UniqueHandle owned) : mutex(std::move(owned)) {}
    ~WinMachineLock() override { ReleaseMutex(mutex.get()); }

private:
    UniqueHandle mutex;
};

bool IsCertificateContent(DWORD contentType) {
    return contentType == CERT_QUERY_CONTENT_CERT ||
           contentType == CERT_QUERY_CONTENT_SERIALIZED_CERT;
}

}  // namespace

std::string ModuleFileName() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::string();
        }
        // a path that filled the buffer may have been cut short: try again with more room
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= kLongestPath) {
            return std::string();
        }
        path.resize(path.size() * 2);
    }
    return Utf8FromUtf16(path).value_or(std::string());
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              std::uint64_t longestFile) {
    const std::optional<std::wstring> wideFile = Utf16FromUtf8(file);
    const std::optional<std::wstring> wideSection = Utf16FromUtf8(section);
    const std::optional<std::wstring> wideKey = Utf16FromUtf8(key);
    if (!wideFile || !wideSection || !wideKey) {
        return std::string();
    }
    // the profile call reads the file whole: held open without write or delete sharing, it can be
    // neither grown nor swapped between the size check and that read
    const UniqueFileHandle held(CreateFileW(wideFile->c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
    LARGE_INTEGER size = {};
    if (!held || !GetFileSizeEx(held.get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) > longestFile) {
        return std::string();
    }
    wchar_t value[32] = {};
    GetPrivateProfileStringW(wideSection->c_str(), wideKey->c_str(), L"", value,
                             sizeof value / sizeof value[0], wideFile->c_str());
    return Utf8FromUtf16(value).value_or(std::string());
}

CertificateStatus QueryCertificateFile(const std::string& path) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty() || !IsNonEmptyFile(*widePath)) {
        return CertificateStatus::Unloadable;
    }
    // PEM text may hold a private key or more certificates around the one to check; the query of
    // the whole file would take the first block of any kind
    const std::optional<std::string> bytes = ReadWholeFile(*widePath, kLongestPemText);
    const std::optional<std::string> block = bytes ? FirstCertificateBlock(*bytes) : std::nullopt;
    CRYPT_DATA_BLOB blob = {};
    DWORD objectType = CERT_QUERY_OBJECT_FILE;
    const void* object = widePath->c_str();
    if (block) {
        blob.cbData = static_cast<DWORD>(block->size());
        blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(block->data()));
        objectType = CERT_QUERY_OBJECT_BLOB;
        object = &blob;
    }

    DWORD encodingType = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    HCERTSTORE rawStore = nullptr;
    HCRYPTMSG rawMessage = nullptr;
    const void* rawContext = nullptr;
    const BOOL loaded = CryptQueryObject(objectType, object, CERT_QUERY_CONTENT_FLAG_ALL,
                                         CERT_QUERY_FORMAT_FLAG_ALL, 0, &encodingType, &contentType,
                                         &formatType, &rawStore, &rawMessage, &rawContext);
    const UniqueCertStore store(rawStore);
    const UniqueCryptMsg message(rawMessage);
    // the context's kind follows the content's kind
    UniqueCertContext certificate;
    UniqueCrlContext crl;
    UniqueCtlContext ctl;
    if (rawContext != nullptr) {
        switch (contentType) {
            case CERT_QUERY_CONTENT_CERT:
            case CERT_QUERY_CONTENT_SERIALIZED_CERT:
                certificate.reset(static_cast<PCCERT_CONTEXT>(rawContext));
                break;
            case CERT_QUERY_CONTENT_CRL:
            case CERT_QUERY_CONTENT_SERIALIZED_CRL:
                crl.reset(static_cast<PCCRL_CONTEXT>(rawContext));
                break;
            case CERT_QUERY_CONTENT_CTL:
            case CERT_QUERY_CONTENT_SERIALIZED_CTL:
                ctl.reset(static_cast<PCCTL_CONTEXT>(rawContext));
                break;
            default:
                break;
        }
    }
    if (!loaded) {
        return CertificateStatus::Unloadable;
    }

    if (!certificate && !IsCertificateContent(contentType) && store) {
        // a signed message or a store: its first certificate stands for the file
        certificate.reset(CertEnumCertificatesInStore(store.get(), nullptr));
    }
    if (!certificate) {
        return CertificateStatus::NoCertificate;
    }
    return CertVerifyTimeValidity(nullptr, certificate.get()->pCertInfo) == 0
               ? CertificateStatus::Valid
               : CertificateStatus::NotValidNow;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return false;
    }
    // the runtime's text mode stores each line feed as CR LF
    UniqueCFile file(_wfopen(widePath->c_str(), L"w"));
    if (!file) {
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    // a full disk or a failed flush shows only at closing time
    return std::fclose(file.release()) == 0 && written;
}

std::optional<std::string> ReadFileContents(const std::string& path) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return std::nullopt;
    }
    return ReadWholeFile(*widePath, std::numeric_limits<std::size_t>::max());
}

std::unique_ptr<MachineLock> LockMachine() {
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, kMachineLockName));
    if (!mutex) {
        return nullptr;
    }
    // abandoned: the run that held it ended without letting it go, and it is ours now
    const DWORD waited = WaitForSingleObject(mutex.get(), kMachineLockWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        return nullptr;
    }
    return std::make_unique<WinMachineLock>(std::move(mutex));
}

std::string ReadApplicationName(const std::string& path) {
    pugi::xml_document document;
    pugi::xml_parse_result loaded;  // a failure until a load succeeds
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (widePath) {
        loaded = document.load_file(widePath->c_str());
    }
    return ApplicationNameFromDocument(document, loaded);
}
