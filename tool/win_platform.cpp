#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>
#include <wincrypt.h>

#include <optional>
#include <string>
#include <utility>

#include "certificate_block.h"
#include "platform.h"
#include "win_files.h"
#include "win_handle_owners.h"
#include "win_paths.h"
#include "win_system_library.h"
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

// The machine-wide lock of tool.exe: a file in the system's drivers\etc folder, where only
// administrators and SYSTEM may create files, so no standard user can create or hold it first (as
// anyone can a named kernel object). Held with share mode 0 by the run that opened it, and gone
// when the last run closes it.
constexpr wchar_t kMachineLockFile[] = L"\\drivers\\etc\\BrevantClientCheckTool.lock";
// SYSTEM and the Administrators only, nothing inherited from the folder
constexpr wchar_t kMachineLockSecurity[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
constexpr ULONGLONG kMachineLockWaitMs = 60 * 1000;
constexpr DWORD kMachineLockRetryMs = 100;

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
    // never more than one byte past longest is read, whatever the file's size
    for (;;) {
        const std::size_t room = longest - bytes.size();
        const DWORD wanted = room < sizeof buffer ? static_cast<DWORD>(room + 1) : sizeof buffer;
        if (!ReadFile(file.get(), buffer, wanted, &got, nullptr)) {
            return std::nullopt;
        }
        if (got == 0) {
            return bytes;
        }
        if (bytes.size() + got > longest) {
            return std::nullopt;
        }
        bytes.append(buffer, got);
    }
}

class WinMachineLock : public MachineLock {
public:
    explicit WinMachineLock(UniqueFileHandle owned) : file(std::move(owned)) {}

private:
    UniqueFileHandle file;
};

// The final path of an open file or folder, in the system's own namespace, which names every
// volume (a drive without a DOS name too); empty when it cannot be had.
std::wstring FinalPath(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            file, &path[0], static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_NT);
        if (length == 0 || length > kLongestPath) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // too small: length is the size needed, the terminating zero included
        path.resize(length);
    }
}

// Whether the file opened at path is a disk file of its own under that very name: not a device, a
// pipe or a folder, not a link at the last component, not one of several names of a file. A Unix
// symbolic link to a file shows under Wine as a plain file, so the file's final path must also be
// its folder's final path and the given name (links earlier on the path are followed alike).
bool IsOwnDiskFile(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        information.nNumberOfLinks > 1) {
        return false;
    }
    std::wstring full(kLongestPath, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr));
    const std::size_t separator = full.find_last_of(L"\\/");
    if (full.empty() || separator == std::wstring::npos) {
        return false;
    }
    // the final path holds the long name, also when the path gave the 8.3 alias
    std::wstring name = full.substr(separator + 1);
    std::wstring longPath(kLongestPath, L'\0');
    longPath.resize(
        GetLongPathNameW(full.c_str(), &longPath[0], static_cast<DWORD>(longPath.size())));
    const std::size_t longSeparator = longPath.find_last_of(L"\\/");
    if (longSeparator != std::wstring::npos) {
        name = longPath.substr(longSeparator + 1);
    }
    return IsNamedInFolder(file, full.substr(0, separator + 1), name);
}

bool IsCertificateContent(DWORD contentType) {
    return contentType == CERT_QUERY_CONTENT_CERT ||
           contentType == CERT_QUERY_CONTENT_SERIALIZED_CERT;
}

}  // namespace

bool IsNamedInFolder(HANDLE file, const std::wstring& folder, const std::wstring& name) {
    const UniqueFileHandle opened(
        CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring expected = opened ? FinalPath(opened.get()) : std::wstring();
    const std::wstring actual = FinalPath(file);
    if (expected.empty() || actual.empty()) {
        return false;
    }
    if (expected.back() != L'\\') {
        expected += L'\\';
    }
    expected += name;
    return CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

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

    const auto queryObject = SYSTEM_FUNCTION(kCrypt32, CryptQueryObject);
    const auto enumCertificates = SYSTEM_FUNCTION(kCrypt32, CertEnumCertificatesInStore);
    const auto verifyTimeValidity = SYSTEM_FUNCTION(kCrypt32, CertVerifyTimeValidity);
    if (!queryObject || !enumCertificates || !verifyTimeValidity) {
        return CertificateStatus::Unloadable;
    }

    DWORD encodingType = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    UniqueCertStore store;
    UniqueCryptMsg message;
    const void* rawContext = nullptr;  // its kind, and so its owner, follows the content's kind
    const BOOL loaded = queryObject(objectType, object, CERT_QUERY_CONTENT_FLAG_ALL,
                                    CERT_QUERY_FORMAT_FLAG_ALL, 0, &encodingType, &contentType,
                                    &formatType, store.put(), message.put(), &rawContext);
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
        certificate.reset(enumCertificates(store.get(), nullptr));
    }
    if (!certificate) {
        return CertificateStatus::NoCertificate;
    }
    return verifyTimeValidity(nullptr, certificate->pCertInfo) == 0
               ? CertificateStatus::Valid
               : CertificateStatus::NotValidNow;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return false;
    }
    // the link itself, not what it leads to; and nothing emptied before the file passes the checks
    const UniqueFileHandle file(CreateFileW(
        widePath->c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !IsOwnDiskFile(file.get(), *widePath)) {
        return false;
    }
    // text mode, as the C runtime writes it: each line feed stored as CR LF, nothing else changed
    std::string stored;
    stored.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            stored += '\r';
        }
        stored += c;
    }
    return Rewind(file.get()) && SetEndOfFile(file.get()) &&
           WriteAll(file.get(), stored.data(), stored.size());
}

std::optional<std::string> ReadFileContents(const std::string& path, std::size_t longest) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return std::nullopt;
    }
    return ReadWholeFile(*widePath, longest);
}

std::string LongPathName(const std::string& path) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return path;
    }
    const DWORD needed = GetLongPathNameW(widePath->c_str(), nullptr, 0);
    if (needed == 0) {
        return path;
    }
    std::wstring longPath(needed, L'\0');
    const DWORD length = GetLongPathNameW(widePath->c_str(), &longPath[0], needed);
    if (length == 0 || length >= needed) {
        return path;
    }
    longPath.resize(length);
    return Utf8FromUtf16(longPath).value_or(path);
}

std::wstring SystemDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    // zero is failure; MAX_PATH or more is the size a buffer would have needed
    if (length == 0 || length >= MAX_PATH) {
        return std::wstring();
    }
    return std::wstring(buffer, length);
}

std::unique_ptr<MachineLock> LockMachine() {
    const std::wstring system = SystemDirectory();
    if (system.empty()) {
        return nullptr;
    }
    const std::wstring path = system + kMachineLockFile;
    UniqueLocalMemory descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kMachineLockSecurity, SDDL_REVISION_1,
                                                              descriptor.put(), nullptr)) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor.get(), FALSE};
    const ULONGLONG deadline = GetTickCount64() + kMachineLockWaitMs;
    for (;;) {
        UniqueFileHandle file(CreateFileW(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr));
        if (file) {
            return std::make_unique<WinMachineLock>(std::move(file));
        }
        // a sharing violation: another run holds it; access denied: the last run's delete is
        // still pending
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) ||
            GetTickCount64() >= deadline) {
            return nullptr;
        }
        Sleep(kMachineLockRetryMs);
    }
}
