#include "win_files.h"

#include <winternl.h>
// after windows.h, which they need
#include <aclapi.h>
#include <sddl.h>

#include <cwchar>
#include <vector>

#include "utf.h"

namespace {

constexpr wchar_t kTemporaryPrefix[] = L"BrevantClientCheckTool.";
// a name taken is tried again under the next one, so many times at most
constexpr int kTemporaryAttempts = 64;

bool SameText(const wchar_t* a, std::size_t aSize, const wchar_t* b, std::size_t bSize) {
    return CompareStringOrdinal(a, static_cast<int>(aSize), b, static_cast<int>(bSize), TRUE) ==
           CSTR_EQUAL;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return SameText(a.c_str(), a.size(), b.c_str(), b.size());
}

// Renames the open file (opened with DELETE) to target, a full path, replacing a file there.
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

// The final path of an open file or folder in the system's own namespace, which names every volume
// (a drive without a DOS name too); empty when it cannot be had.
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

std::wstring HexName(unsigned value) {
    std::wstring digits(8, L'0');
    for (std::size_t i = 8; i-- > 0; value >>= 4) {
        digits[i] = L"0123456789ABCDEF"[value & 0xF];
    }
    return digits;
}

}  // namespace

std::optional<std::wstring> WidePath(const std::string& path) {
    std::optional<std::wstring> wide = Utf16FromUtf8Strict(path);
    return wide && !wide->empty() ? wide : std::nullopt;
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

bool IsHeld(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

DWORD Retry(const RetryPolicy& policy, const std::function<DWORD()>& step) {
    for (int attempt = 1;; ++attempt) {
        const DWORD error = step();
        if (error == ERROR_SUCCESS || !IsHeld(error) || attempt >= policy.attempts) {
            return error;
        }
        Sleep(policy.pauseMs);
    }
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

ByteWriter WriterOf(HANDLE file, DWORD* error) {
    return [file, error](const char* data, std::size_t size) {
        if (WriteAll(file, data, size)) {
            return true;
        }
        if (error != nullptr) {
            *error = GetLastError();
        }
        return false;
    };
}

ByteReader ReaderOf(HANDLE file, DWORD& error) {
    return [file, &error](char* buffer, std::size_t size) -> std::size_t {
        const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(file, buffer, wanted, &got, nullptr)) {
            error = GetLastError();
            return 0;
        }
        return got;
    };
}

bool Seek(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

FileContents ReadBounded(HANDLE file, std::size_t longest, DWORD& error) {
    FileContents contents{FileRead::Read, std::string()};
    char buffer[65536];
    for (;;) {
        const std::size_t room = longest - contents.bytes.size();
        const DWORD wanted = room < sizeof buffer ? static_cast<DWORD>(room + 1) : sizeof buffer;
        DWORD got = 0;
        if (!ReadFile(file, buffer, wanted, &got, nullptr)) {
            error = GetLastError();
            return FileContents{FileRead::Unreadable, std::string()};
        }
        if (got == 0) {
            return contents;
        }
        if (contents.bytes.size() + got > longest) {
            return FileContents{FileRead::TooLarge, std::string()};
        }
        contents.bytes.append(buffer, got);
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
    const UniqueFileHandle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file ? IdentityOf(file.get()) : std::nullopt;
}

Security::Security(const wchar_t* sddl) {
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                             descriptor.put(), nullptr)) {
        attributes.lpSecurityDescriptor = descriptor.get();
    }
}

std::string SidText(PSID sid) {
    UniqueLocalText text;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, text.put())) {
        return std::string();
    }
    return Utf8FromUtf16Strict(text.get()).value_or(std::string());
}

std::optional<FolderSecurity> ReadSecurity(HANDLE file) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(file, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, descriptor.put()) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    FolderSecurity security;
    security.owner = SidText(owner);
    security.hasDacl = dacl != nullptr;
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        void* rawEntry = nullptr;
        if (!GetAce(dacl, i, &rawEntry)) {
            return std::nullopt;
        }
        const auto* header = static_cast<const ACE_HEADER*>(rawEntry);
        AccessEntry entry;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        switch (header->AceType) {
            case ACCESS_ALLOWED_ACE_TYPE: {
                auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(rawEntry);
                entry.mask = allowed->Mask;
                entry.sid = SidText(&allowed->SidStart);
                if (entry.sid.empty()) {
                    entry.kind = AccessEntry::Unreadable;
                }
                break;
            }
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_OBJECT_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
                entry.kind = AccessEntry::Deny;
                break;
            default:
                entry.kind = AccessEntry::Unreadable;
                break;
        }
        security.entries.push_back(entry);
    }
    return security;
}

bool IsNamedIn(HANDLE folder, HANDLE opened, const std::wstring& name, const std::wstring& path) {
    std::wstring folderFinal = FinalPath(folder);
    const std::wstring actual = FinalPath(opened);
    const std::size_t separator = actual.find_last_of(L'\\');
    if (folderFinal.empty() || separator == std::wstring::npos) {
        return false;
    }
    if (folderFinal.back() != L'\\') {
        folderFinal += L'\\';
    }
    const std::wstring actualName = actual.substr(separator + 1);
    if (!SameText(actual.substr(0, separator + 1), folderFinal)) {
        return false;
    }
    if (SameText(actualName, name)) {
        return true;
    }
    std::wstring longForm(kLongestPath, L'\0');
    longForm.resize(
        GetLongPathNameW(path.c_str(), &longForm[0], static_cast<DWORD>(longForm.size())));
    return !longForm.empty() &&
           SameText(longForm.substr(longForm.find_last_of(L'\\') + 1), actualName);
}

OpenedName OpenInFolder(HANDLE folder, const std::wstring& name, const std::wstring& path,
                        const NameOpen& how) {
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
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, how.security);
    IO_STATUS_BLOCK status = {};
    ULONG options = FILE_SYNCHRONOUS_IO_NONALERT |
                    (how.kind == NameKind::Folder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE);
    if ((how.conditions & FollowLink) == 0) {
        options |= FILE_OPEN_REPARSE_POINT;
    }
    HANDLE handle = nullptr;
    const NTSTATUS result =
        NtCreateFile(&handle, how.access | SYNCHRONIZE, &attributes, &status, nullptr,
                     FILE_ATTRIBUTE_NORMAL, how.share, how.disposition, options, nullptr, 0);
    if (result < 0) {
        opened.error = RtlNtStatusToDosError(result);
        return opened;
    }
    opened.file.reset(handle);
    opened.created = status.Information == FILE_CREATED;
    const std::optional<FileIdentity> identity =
        (how.conditions & ~FollowLink) != 0 ? IdentityOf(handle) : FileIdentity();
    const bool refused =
        !identity ||
        ((how.conditions & NoLink) != 0 &&
         ((identity->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
          !IsNamedIn(folder, handle, name, path))) ||
        ((how.conditions & SingleName) != 0 && identity->links != 1) ||
        ((how.conditions & DiskFile) != 0 && GetFileType(handle) != FILE_TYPE_DISK);
    if (refused) {
        if (opened.created) {
            // made, but not as it was asked for: nothing is left behind
            MarkForDeletion(handle, true);
        }
        return OpenedName{UniqueFileHandle(), false, ERROR_ACCESS_DENIED};
    }
    return opened;
}

bool MarkForDeletion(HANDLE file, bool marked) {
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = marked ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != FALSE;
}

std::wstring UniqueHexName() {
    static unsigned counter = 0;
    return HexName((GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 16) ^
                   (++counter * 40503u));
}

bool IsHexName(const std::wstring& name, const wchar_t* prefix, std::size_t digits,
               const wchar_t* suffix) {
    const std::size_t start = std::wcslen(prefix);
    const std::size_t end = start + digits;
    const std::size_t suffixSize = std::wcslen(suffix);
    return name.size() == end + suffixSize && SameText(name.c_str(), start, prefix, start) &&
           name.find_first_not_of(L"0123456789ABCDEFabcdef", start) >= end &&
           (suffixSize == 0 || SameText(name.c_str() + end, suffixSize, suffix, suffixSize));
}

bool IsTemporaryName(const std::wstring& name) {
    return IsHexName(name, kTemporaryPrefix, 8, L".tmp");
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
            CreateFileW((folder + L"\\" + name).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        const std::optional<FileIdentity> identity = file ? IdentityOf(file.get()) : std::nullopt;
        if (identity && (identity->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            leftover(name, *identity)) {
            MarkForDeletion(file.get(), true);
        }
    }
}

MarkedTemporary MarkedTemporary::Make(
    const std::wstring& folder, const std::function<UniqueFileHandle(const std::wstring&)>& make) {
    MarkedTemporary temporary;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const std::wstring path = folder + L"\\" + kTemporaryPrefix + UniqueHexName() + L".tmp";
        UniqueFileHandle file = make(path);
        DWORD error = file ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
            continue;
        }
        if (file && MarkForDeletion(file.get(), true)) {
            temporary.file = std::move(file);
            temporary.path = path;
            return temporary;
        }
        if (file) {
            error = GetLastError();
            file.reset();
            DeleteFileW(path.c_str());
        }
        SetLastError(error);
        return temporary;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return temporary;
}

MarkedTemporary MarkedTemporary::Create(const std::wstring& folder,
                                        const SECURITY_ATTRIBUTES* security) {
    return Make(folder, [security](const std::wstring& path) {
        return UniqueFileHandle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                            const_cast<SECURITY_ATTRIBUTES*>(security), CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    });
}

MarkedTemporary MarkedTemporary::Link(const std::wstring& folder, const std::wstring& target) {
    return Make(folder, [&target](const std::wstring& path) {
        if (!CreateHardLinkW(path.c_str(), target.c_str(), nullptr)) {
            return UniqueFileHandle();
        }
        // the link itself, every kind of sharing: it is a name of a file others read
        UniqueFileHandle file(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
        if (!file) {
            const DWORD error = GetLastError();
            DeleteFileW(path.c_str());
            SetLastError(error);
        }
        return file;
    });
}

DWORD MarkedTemporary::RenameTo(const std::wstring& name, const RetryPolicy& policy) {
    if (!file) {
        return ERROR_INVALID_HANDLE;
    }
    const std::wstring target = path.substr(0, path.find_last_of(L'\\') + 1) + name;
    const DWORD error = Retry(policy, [&] {
        if (!MarkForDeletion(file.get(), false)) {
            return GetLastError();
        }
        if (RenameOpenFile(file.get(), target)) {
            return DWORD{ERROR_SUCCESS};
        }
        const DWORD renameError = GetLastError();
        MarkForDeletion(file.get(), true);
        return renameError;
    });
    if (error == ERROR_SUCCESS) {
        path = target;
    }
    return error;
}
