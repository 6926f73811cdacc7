#include "win_files.h"

#include <winternl.h>

#include <cwchar>
#include <vector>

namespace {

// The longest path the wide calls take, in UTF-16 units.
constexpr std::size_t kLongestPath = 32768;
constexpr wchar_t kTemporaryPrefix[] = L"BrevantClientCheckTool.";
constexpr wchar_t kTemporarySuffix[] = L".tmp";
constexpr std::size_t kTemporaryDigits = 8;
// a name taken is tried again under the next one, so many times at most
constexpr int kTemporaryAttempts = 64;

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F') || (c >= L'a' && c <= L'f');
}

// Names for temporaries, different in each call and each process.
std::wstring NextTemporaryName() {
    static unsigned counter = 0;
    const unsigned unique =
        (GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 16) ^ (++counter * 40503u);
    return kTemporaryPrefix + HexName(unique) + kTemporarySuffix;
}

}  // namespace

std::wstring HexName(unsigned value) {
    std::wstring digits(8, L'0');
    for (std::size_t i = 8; i-- > 0; value >>= 4) {
        digits[i] = L"0123456789ABCDEF"[value & 0xF];
    }
    return digits;
}

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD piece = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr)) {
            return false;
        }
        // a full disk may take part of a write without an error: the rest is tried again, and a
        // write that takes nothing says why itself
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool Rewind(HANDLE file) {
    const LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

OpenedName OpenInFolder(HANDLE folder, const std::wstring& name, NameKind kind, ACCESS_MASK access,
                        ULONG share, ULONG disposition, bool followLink,
                        PSECURITY_DESCRIPTOR security) {
    OpenedName opened;
    if (name.empty() || name.size() * sizeof(wchar_t) > 0xFFFE ||
        name.find_first_of(L"\\/") != std::wstring::npos) {
        opened.error = ERROR_INVALID_NAME;
        return opened;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes;
    // names are compared as the Win32 calls compare them
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK status = {};
    ULONG options = FILE_SYNCHRONOUS_IO_NONALERT |
                    (kind == NameKind::Folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    if (!followLink) {
        options |= FILE_OPEN_REPARSE_POINT;
    }
    HANDLE handle = nullptr;
    const NTSTATUS result =
        NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                     FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
    if (result < 0) {
        opened.error = RtlNtStatusToDosError(result);
        SetLastError(opened.error);
        return opened;
    }
    opened.file.reset(handle);
    opened.created = status.Information == FILE_CREATED;
    return opened;
}

bool MarkForDeletion(HANDLE file, bool marked) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = marked ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != FALSE;
}

bool RenameOpenFile(HANDLE file, const std::wstring& target) {
    // the system's own form of a full path, which Windows and Wine read alike (Wine takes a bare
    // name from the current folder, not from the file's own)
    std::wstring native;
    if (target.rfind(L"\\\\?\\", 0) == 0) {
        native = L"\\??\\" + target.substr(4);
    } else if (target.rfind(L"\\\\", 0) == 0) {
        native = L"\\??\\UNC\\" + target.substr(2);
    } else {
        native = L"\\??\\" + target;
    }
    // FILE_RENAME_INFO ends in the name's first unit: room for the rest and a terminating zero
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + native.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(native.size() * sizeof(wchar_t));
    std::wmemcpy(rename->FileName, native.c_str(), native.size() + 1);
    return SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

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

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!GetFileInformationByHandle(file, &information)) {
        return std::nullopt;
    }
    FileIdentity identity;
    identity.volume = information.dwVolumeSerialNumber;
    identity.index =
        (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    identity.links = information.nNumberOfLinks;
    identity.attributes = information.dwFileAttributes;
    return identity;
}

std::optional<FileIdentity> IdentityAt(const std::wstring& path) {
    const UniqueFileHandle file(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file ? IdentityOf(file.get()) : std::nullopt;
}

bool IsTemporaryName(const std::wstring& name) {
    const std::size_t prefix = std::wcslen(kTemporaryPrefix);
    const std::size_t suffix = std::wcslen(kTemporarySuffix);
    if (name.size() != prefix + kTemporaryDigits + suffix ||
        CompareStringOrdinal(name.c_str(), static_cast<int>(prefix), kTemporaryPrefix,
                             static_cast<int>(prefix), TRUE) != CSTR_EQUAL ||
        CompareStringOrdinal(name.c_str() + prefix + kTemporaryDigits, static_cast<int>(suffix),
                             kTemporarySuffix, static_cast<int>(suffix), TRUE) != CSTR_EQUAL) {
        return false;
    }
    for (std::size_t i = prefix; i < prefix + kTemporaryDigits; ++i) {
        if (!IsHexDigit(name[i])) {
            return false;
        }
    }
    return true;
}

bool IsEarlierTemporaryName(const std::wstring& name, const wchar_t* prefix) {
    return name.size() == 11 &&
           CompareStringOrdinal(name.c_str(), 3, prefix, 3, TRUE) == CSTR_EQUAL &&
           name.find_first_not_of(L"0123456789ABCDEFabcdef", 3) == 7 &&
           CompareStringOrdinal(name.c_str() + 7, 4, L".tmp", 4, TRUE) == CSTR_EQUAL;
}

void RemoveLeftovers(
    const std::wstring& folder,
    const std::function<bool(const std::wstring& name, const FileIdentity& file)>& leftover) {
    WIN32_FIND_DATAW entry = {};
    const UniqueFindHandle search(FindFirstFileExW((folder + L"\\*.tmp").c_str(), FindExInfoBasic,
                                                   &entry, FindExSearchNameMatch, nullptr, 0));
    for (bool more = static_cast<bool>(search); more;
         more = FindNextFileW(search.get(), &entry) != FALSE) {
        const std::wstring name = entry.cFileName;
        const UniqueFileHandle file(
            CreateFileW((folder + L"\\" + name).c_str(), DELETE | FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const std::optional<FileIdentity> identity = file ? IdentityOf(file.get()) : std::nullopt;
        if (identity && (identity->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            leftover(name, *identity)) {
            MarkForDeletion(file.get(), true);
        }
    }
}

MarkedTemporary MarkedTemporary::Create(const std::wstring& folder,
                                        const SECURITY_ATTRIBUTES* security) {
    MarkedTemporary temporary;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const std::wstring path = folder + L"\\" + NextTemporaryName();
        UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                          const_cast<SECURITY_ATTRIBUTES*>(security), CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return temporary;
        }
        if (!MarkForDeletion(file.get(), true)) {
            const DWORD error = GetLastError();
            file.reset();
            DeleteFileW(path.c_str());
            SetLastError(error);
            return temporary;
        }
        temporary.file = std::move(file);
        temporary.path = path;
        return temporary;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return temporary;
}

MarkedTemporary MarkedTemporary::Link(const std::wstring& folder, const std::wstring& path) {
    MarkedTemporary temporary;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const std::wstring name = folder + L"\\" + NextTemporaryName();
        if (!CreateHardLinkW(name.c_str(), path.c_str(), nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                continue;
            }
            return temporary;
        }
        // the link itself, every kind of sharing: it is a name of a file others read
        UniqueFileHandle file(CreateFileW(name.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
        if (!file || !MarkForDeletion(file.get(), true)) {
            const DWORD error = GetLastError();
            file.reset();
            DeleteFileW(name.c_str());
            SetLastError(error);
            return temporary;
        }
        temporary.file = std::move(file);
        temporary.path = name;
        return temporary;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return temporary;
}

bool MarkedTemporary::RenameTo(const std::wstring& name) {
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!MarkForDeletion(file.get(), false)) {
        return false;
    }
    const std::wstring target = path.substr(0, path.find_last_of(L'\\') + 1) + name;
    if (RenameOpenFile(file.get(), target)) {
        path = target;
        return true;
    }
    const DWORD error = GetLastError();
    MarkForDeletion(file.get(), true);
    SetLastError(error);
    return false;
}
