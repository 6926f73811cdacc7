#include <windows.h>
// after windows.h, which it needs
#include <aclapi.h>
#include <sddl.h>
#include <wincrypt.h>

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// A file that another program holds without read sharing or has locked is read again this often,
// this far apart: about two seconds, as a replace of the hosts file is tried.
constexpr int kHeldFileAttempts = 20;
constexpr DWORD kHeldFilePauseMs = 100;

// One try at reading the file whole; error tells why it is unreadable.
FileContents ReadWholeFileOnce(const std::wstring& path, std::size_t longest, DWORD& error) {
    FileContents contents;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = GetLastError();
        contents.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                              ? FileRead::Absent
                              : FileRead::Unreadable;
        return contents;
    }
    char buffer[65536];
    DWORD got = 0;
    // never more than one byte past longest is read, whatever the file's size
    for (;;) {
        const std::size_t room = longest - contents.bytes.size();
        const DWORD wanted = room < sizeof buffer ? static_cast<DWORD>(room + 1) : sizeof buffer;
        if (!ReadFile(file.get(), buffer, wanted, &got, nullptr)) {
            error = GetLastError();
            return FileContents{FileRead::Unreadable, std::string()};
        }
        if (got == 0) {
            contents.status = FileRead::Read;
            return contents;
        }
        if (contents.bytes.size() + got > longest) {
            return FileContents{FileRead::TooLarge, std::string()};
        }
        contents.bytes.append(buffer, got);
    }
}

FileContents ReadWholeFile(const std::wstring& path, std::size_t longest) {
    for (int attempt = 1;; ++attempt) {
        DWORD error = ERROR_SUCCESS;
        FileContents contents = ReadWholeFileOnce(path, longest, error);
        const bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                          error == ERROR_ACCESS_DENIED;
        if (contents.status != FileRead::Unreadable || !held || attempt == kHeldFileAttempts) {
            return contents;
        }
        Sleep(kHeldFilePauseMs);
    }
}

class WinMachineLock : public MachineLock {
public:
    explicit WinMachineLock(UniqueFileHandle owned) : file(std::move(owned)) {}

private:
    UniqueFileHandle file;
};

// SYSTEM, Administrators and TrustedInstaller: the owners whose links the elevated tool follows.
// A link anyone else made (a junction needs no privilege) may lead anywhere, System32 included.
bool IsAdministrativeOwner(HANDLE file) {
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, descriptor.put()) != ERROR_SUCCESS ||
        owner == nullptr) {
        return false;
    }
    for (const wchar_t* trusted :
         {L"S-1-5-18", L"S-1-5-32-544",
          L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"}) {
        UniqueLocalMemory sid;
        if (ConvertStringSidToSidW(trusted, reinterpret_cast<PSID*>(sid.put())) &&
            EqualSid(owner, sid.get())) {
            return true;
        }
    }
    return false;
}

// Whether the open file or folder is name in the folder whose final path is folderFinal, rather
// than what a link of that name leads to: its own final path is the folder's and that name, the
// long name when name is an 8.3 alias (whose long form named is the given path up to it). Under
// Wine this is the only sign of a Unix link, which is opened through even when asked for itself.
bool IsNamedIn(const std::wstring& folderFinal, HANDLE opened, const std::wstring& name,
               const std::wstring& named) {
    const std::wstring actual = FinalPath(opened);
    const std::size_t separator = actual.find_last_of(L'\\');
    if (folderFinal.empty() || separator == std::wstring::npos) {
        return false;
    }
    std::wstring folder = folderFinal;
    if (folder.back() != L'\\') {
        folder += L'\\';
    }
    const auto same = [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                    static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
    };
    const std::wstring actualName = actual.substr(separator + 1);
    if (!same(actual.substr(0, separator + 1), folder)) {
        return false;
    }
    if (same(actualName, name)) {
        return true;
    }
    std::wstring longForm(kLongestPath, L'\0');
    longForm.resize(
        GetLongPathNameW(named.c_str(), &longForm[0], static_cast<DWORD>(longForm.size())));
    return !longForm.empty() && same(longForm.substr(longForm.find_last_of(L'\\') + 1), actualName);
}

// A full path as its root (a drive, a share, a \\?\ or \\.\ prefix with its volume) and the
// names below it; none without a name below the root (a device such as \\.\NUL).
struct PathParts {
    std::wstring root;
    std::vector<std::wstring> names;
};

std::optional<PathParts> SplitFullPath(const std::wstring& full) {
    const auto startsWith = [&full](const wchar_t* prefix) { return full.rfind(prefix, 0) == 0; };
    // the separator after the first `count` names that start at `from`
    const auto after = [&full](std::size_t from, int count) {
        std::size_t at = from;
        for (int i = 0; i < count && at != std::wstring::npos; ++i) {
            at = full.find(L'\\', at);
            if (at != std::wstring::npos) {
                ++at;
            }
        }
        return at;
    };
    std::size_t rootEnd = std::wstring::npos;
    if (startsWith(L"\\\\?\\UNC\\")) {
        rootEnd = after(8, 2);
    } else if (startsWith(L"\\\\?\\") || startsWith(L"\\\\.\\")) {
        rootEnd = after(4, 1);
    } else if (startsWith(L"\\\\")) {
        rootEnd = after(2, 2);
    } else if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') {
        rootEnd = 3;
    }
    // a path that ends in a separator names a folder, never a file
    if (rootEnd == std::wstring::npos || full.back() == L'\\') {
        return std::nullopt;
    }
    PathParts parts;
    parts.root = full.substr(0, rootEnd);
    for (std::size_t at = rootEnd; at < full.size();) {
        const std::size_t end = std::min(full.find(L'\\', at), full.size());
        if (end > at) {
            parts.names.push_back(full.substr(at, end - at));
        }
        at = end + 1;
    }
    if (parts.names.empty()) {
        return std::nullopt;
    }
    return parts;
}

constexpr ACCESS_MASK kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folder name inside parent (whose final path is parentFinal), opened by handle so that no
// name is looked up again through the path: a plain folder, or a link an administrator made,
// which is followed (held in links until the report is written, and seen to be the same link
// after it was followed). None for a missing folder and for a link anyone else made.
UniqueFileHandle OpenPathFolder(HANDLE parent, const std::wstring& parentFinal,
                                const std::wstring& name, const std::wstring& named,
                                std::vector<UniqueFileHandle>& links) {
    OpenedName itself =
        OpenInFolder(parent, name, NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, false);
    const std::optional<FileIdentity> identity =
        itself.file ? IdentityOf(itself.file.get()) : std::nullopt;
    if (!identity) {
        return UniqueFileHandle();
    }
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    const bool reparse = (identity->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool surrogate =
        reparse &&
        GetFileInformationByHandleEx(itself.file.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
        IsReparseTagNameSurrogate(tag.ReparseTag);
    if (!surrogate && IsNamedIn(parentFinal, itself.file.get(), name, named)) {
        if (!reparse) {
            return std::move(itself.file);
        }
        // a reparse point that is no link (a file provider's placeholder): opened as its
        // provider serves it
        return std::move(
            OpenInFolder(parent, name, NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, true)
                .file);
    }
    if (!IsAdministrativeOwner(itself.file.get())) {
        return UniqueFileHandle();
    }
    OpenedName followed =
        OpenInFolder(parent, name, NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, true);
    const OpenedName again =
        OpenInFolder(parent, name, NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, false);
    const std::optional<FileIdentity> still =
        again.file ? IdentityOf(again.file.get()) : std::nullopt;
    if (!followed.file || !still || !(*still == *identity)) {
        return UniqueFileHandle();
    }
    links.push_back(std::move(itself.file));
    return std::move(followed.file);
}

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
    const FileContents file = ReadWholeFile(*widePath, kLongestPemText);
    // held by another program also when tried again: it cannot be loaded now
    if (file.status == FileRead::Unreadable) {
        return CertificateStatus::Unloadable;
    }
    const std::optional<std::string> block =
        file.status == FileRead::Read ? FirstCertificateBlock(file.bytes) : std::nullopt;
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
    std::wstring full(kLongestPath, L'\0');
    full.resize(
        GetFullPathNameW(widePath->c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr));
    const std::optional<PathParts> parts =
        full.empty() || full.size() >= kLongestPath ? std::nullopt : SplitFullPath(full);
    if (!parts) {
        return false;
    }
    // From the root (a drive, a mapped or substituted one too, or a share) each name is opened in
    // the folder opened before it, so nothing checked is looked up again through the path.
    UniqueFileHandle folder(CreateFileW(parts->root.c_str(), kLookAccess, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::wstring named = parts->root;
    std::vector<UniqueFileHandle> links;
    for (std::size_t i = 0; folder && i + 1 < parts->names.size(); ++i) {
        named += parts->names[i];
        folder =
            OpenPathFolder(folder.get(), FinalPath(folder.get()), parts->names[i], named, links);
        named += L'\\';
    }
    if (!folder) {
        return false;
    }
    const std::wstring& name = parts->names.back();
    named += name;
    // An existing file is opened as it is, never made through a link to nowhere; a missing one
    // is made, and removed again by its own handle when it is refused or cannot be written.
    OpenedName file =
        OpenInFolder(folder.get(), name, NameKind::File, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, false);
    if (!file.file && file.error == ERROR_FILE_NOT_FOUND) {
        file = OpenInFolder(folder.get(), name, NameKind::File,
                            GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, false);
    }
    if (!file.file) {
        return false;
    }
    const auto refuse = [&file] {
        if (file.created) {
            MarkForDeletion(file.file.get(), true);
        }
        return false;
    };
    // a disk file of its own: not a device, a pipe or a folder, not a link, not one of several
    // names of a file (a standard user may give a system file another name in their folder)
    const std::optional<FileIdentity> identity = IdentityOf(file.file.get());
    if (GetFileType(file.file.get()) != FILE_TYPE_DISK || !identity || identity->links != 1 ||
        (identity->attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        !IsNamedIn(FinalPath(folder.get()), file.file.get(), name, named)) {
        return refuse();
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
    if (!Rewind(file.file.get()) || !SetEndOfFile(file.file.get()) ||
        !WriteAll(file.file.get(), stored.data(), stored.size())) {
        return refuse();
    }
    return true;
}

FileContents ReadFileContents(const std::string& path, std::size_t longest) {
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath || widePath->empty()) {
        return FileContents{FileRead::Unreadable, std::string()};
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

namespace {

// Removes what runs of this program that were cut short left in the hosts file's folder: its
// temporaries, and of earlier versions the copies of a new text (hst????.tmp) and the second names
// of the hosts file or its backup (bak????.tmp). Another such second name may be the only one left
// of a replaced file, and stays; no other program's file is touched.
void RemoveHostsLeftovers(const std::wstring& folder) {
    const std::optional<FileIdentity> hosts = IdentityAt(folder + L"\\hosts.ics");
    const std::optional<FileIdentity> backup = IdentityAt(folder + L"\\hosts.ics.bak");
    RemoveLeftovers(folder, [&](const std::wstring& name, const FileIdentity& file) {
        if (IsTemporaryName(name) || IsEarlierTemporaryName(name, L"hst")) {
            return true;
        }
        return IsEarlierTemporaryName(name, L"bak") &&
               ((hosts && file == *hosts) || (backup && file == *backup));
    });
}

}  // namespace

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
            RemoveHostsLeftovers(system + L"\\drivers\\etc");
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
