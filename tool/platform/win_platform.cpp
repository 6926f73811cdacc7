#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"
#include "utf.h"
#include "win_files.h"
#include "win_handle_owners.h"

namespace {

// The machine-wide lock of tool.exe: a file in the system's drivers\etc folder, where only
// administrators and SYSTEM may create files, so no standard user can create or hold it first (as
// anyone can a named kernel object). Held with share mode 0 by the run that opened it, and gone
// when the last run closes it.
constexpr wchar_t kMachineLockFile[] = L"\\drivers\\etc\\BrevantClientCheckTool.lock";
// about a minute: a sharing violation is another run holding it, access denied the last run's
// delete still pending
constexpr RetryPolicy kMachineLockWait = {600, 100};

class WinMachineLock : public MachineLock {
public:
    explicit WinMachineLock(UniqueFileHandle owned) : file(std::move(owned)) {}

private:
    UniqueFileHandle file;
};

// A full path as its root (a drive, a share, a \\?\ or \\.\ prefix with its volume) and the
// names below it; none without a name below the root (a device such as \\.\NUL).
struct PathParts {
    std::wstring root;
    std::vector<std::wstring> names;
};

std::optional<PathParts> SplitFullPath(const std::wstring& full) {
    // the prefixes of a root, each with the names that belong to it: a share's server and share,
    // the volume of a \\?\ or \\.\ path
    const std::pair<const wchar_t*, int> forms[] = {
        {L"\\\\?\\UNC\\", 2}, {L"\\\\?\\", 1}, {L"\\\\.\\", 1}, {L"\\\\", 2}};
    std::size_t rootEnd =
        full.size() >= 3 && full[1] == L':' && full[2] == L'\\' ? 3 : std::wstring::npos;
    for (const auto& [prefix, names] : forms) {
        if (rootEnd == std::wstring::npos && full.rfind(prefix, 0) == 0) {
            rootEnd = std::wcslen(prefix);
            for (int i = 0; i < names && rootEnd != std::wstring::npos; ++i) {
                rootEnd = full.find(L'\\', rootEnd);
                rootEnd += rootEnd != std::wstring::npos ? 1 : 0;
            }
            break;
        }
    }
    // a path that ends in a separator names a folder, never a file
    if (rootEnd == std::wstring::npos || full.back() == L'\\') {
        return std::nullopt;
    }
    PathParts parts{full.substr(0, rootEnd), {}};
    for (std::size_t at = rootEnd; at < full.size();) {
        const std::size_t end = std::min(full.find(L'\\', at), full.size());
        if (end > at) {
            parts.names.push_back(full.substr(at, end - at));
        }
        at = end + 1;
    }
    return parts.names.empty() ? std::nullopt : std::optional<PathParts>(parts);
}

// The folder name inside parent (path: the given path up to it), opened by handle so that no name
// is looked up again through the path: a plain folder, or a link SYSTEM, Administrators or
// TrustedInstaller made, which is followed (held in links until the report is written, and seen to
// be the same link after it was followed). None for a missing folder and for a link anyone else
// made.
UniqueFileHandle OpenPathFolder(HANDLE parent, const std::wstring& name, const std::wstring& path,
                                std::vector<UniqueFileHandle>& links) {
    const NameOpen itself = {};
    const NameOpen through = {NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, FollowLink};
    OpenedName link = OpenInFolder(parent, name, path, itself);
    const std::optional<FileIdentity> identity =
        link.file ? IdentityOf(link.file.get()) : std::nullopt;
    if (!identity) {
        return UniqueFileHandle();
    }
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    const bool reparse = (identity->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool surrogate =
        reparse &&
        GetFileInformationByHandleEx(link.file.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
        IsReparseTagNameSurrogate(tag.ReparseTag);
    if (!surrogate && IsNamedIn(parent, link.file.get(), name, path)) {
        // a reparse point that is no link (a file provider's placeholder) is opened as its
        // provider serves it
        return reparse ? std::move(OpenInFolder(parent, name, path, through).file)
                       : std::move(link.file);
    }
    const std::optional<FolderSecurity> security = ReadSecurity(link.file.get());
    if (!security || !IsAdministrativeSid(security->owner)) {
        return UniqueFileHandle();
    }
    OpenedName followed = OpenInFolder(parent, name, path, through);
    const OpenedName again = OpenInFolder(parent, name, path, itself);
    const std::optional<FileIdentity> still =
        again.file ? IdentityOf(again.file.get()) : std::nullopt;
    if (!followed.file || !still || !(*still == *identity)) {
        return UniqueFileHandle();
    }
    links.push_back(std::move(link.file));
    return std::move(followed.file);
}

// Removes what runs of this program that were cut short left in the hosts file's folder: its
// temporaries, and of earlier versions the copies of a new text (hst????.tmp) and the second names
// of the hosts file or its backup (bak????.tmp). Another such second name may be the only one left
// of a replaced file, and stays; no other program's file is touched.
void RemoveHostsLeftovers(const std::wstring& folder) {
    const std::optional<FileIdentity> hosts = IdentityAt(folder + L"\\hosts.ics");
    const std::optional<FileIdentity> backup = IdentityAt(folder + L"\\hosts.ics.bak");
    RemoveLeftovers(folder, [&](const std::wstring& name, const FileIdentity& file) {
        if (IsTemporaryName(name) || IsHexName(name, L"hst", 4, L".tmp")) {
            return true;
        }
        return IsHexName(name, L"bak", 4, L".tmp") &&
               ((hosts && file == *hosts) || (backup && file == *backup));
    });
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
    return Utf8FromUtf16Strict(path).value_or(std::string());
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              std::uint64_t longestFile) {
    const std::optional<std::wstring> wideFile = WidePath(file);
    const std::optional<std::wstring> wideSection = Utf16FromUtf8Strict(section);
    const std::optional<std::wstring> wideKey = Utf16FromUtf8Strict(key);
    if (!wideFile || !wideSection || !wideKey) {
        return std::string();
    }
    // the profile call reads the file whole: held open without write or delete sharing, it can be
    // neither grown nor swapped between the size check and that read
    const UniqueFileHandle held(CreateFileW(wideFile->c_str(), GENERIC_READ, FILE_SHARE_READ,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
    if (!held || SizeOf(held.get()) > longestFile) {
        return std::string();
    }
    wchar_t value[32] = {};
    GetPrivateProfileStringW(wideSection->c_str(), wideKey->c_str(), L"", value,
                             sizeof value / sizeof value[0], wideFile->c_str());
    return Utf8FromUtf16Strict(value).value_or(std::string());
}

FileContents ReadFileContents(const std::string& path, std::size_t longest) {
    const std::optional<std::wstring> widePath = WidePath(path);
    FileContents contents{FileRead::Unreadable, std::string()};
    if (!widePath) {
        return contents;
    }
    Retry(kWhileHeld, [&] {
        const UniqueFileHandle file(CreateFileW(widePath->c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD error = file ? ERROR_SUCCESS : GetLastError();
        if (!file) {
            const bool absent = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
            contents =
                FileContents{absent ? FileRead::Absent : FileRead::Unreadable, std::string()};
            return absent ? DWORD{ERROR_SUCCESS} : error;
        }
        contents = ReadBounded(file.get(), longest, error);
        return error;
    });
    return contents;
}

std::string LongPathName(const std::string& path) {
    const std::optional<std::wstring> widePath = WidePath(path);
    if (!widePath) {
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
    return Utf8FromUtf16Strict(longPath).value_or(path);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    const std::optional<std::wstring> widePath = WidePath(path);
    if (!widePath) {
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
        folder = OpenPathFolder(folder.get(), parts->names[i], named, links);
        named += L'\\';
    }
    if (!folder) {
        return false;
    }
    const std::wstring& name = parts->names.back();
    named += name;
    // An existing file is opened as it is, never made through a link to nowhere; a missing one is
    // made, and removed again by its own handle when it is refused or cannot be written. It must
    // be a disk file of its own: not a device, a pipe or a folder, not a link, not one of several
    // names of a file (a standard user may give a system file another name in their folder).
    NameOpen open = {NameKind::File, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN, NoLink | SingleName | DiskFile};
    OpenedName file = OpenInFolder(folder.get(), name, named, open);
    if (!file.file && file.error == ERROR_FILE_NOT_FOUND) {
        open.access |= DELETE;
        open.disposition = FILE_CREATE;
        file = OpenInFolder(folder.get(), name, named, open);
    }
    if (!file.file) {
        return false;
    }
    // text mode, as the C runtime writes it: each line feed stored as CR LF, nothing else changed
    if (Seek(file.file.get(), 0) && SetEndOfFile(file.file.get()) &&
        WriteWithCrLf(text, WriterOf(file.file.get()))) {
        return true;
    }
    if (file.created) {
        MarkForDeletion(file.file.get(), true);
    }
    return false;
}

std::unique_ptr<MachineLock> LockMachine() {
    const std::wstring system = SystemDirectory();
    Security security(kAdministratorsOnly);
    if (system.empty() || !security.descriptor) {
        return nullptr;
    }
    const std::wstring path = system + kMachineLockFile;
    UniqueFileHandle file;
    const DWORD error = Retry(kMachineLockWait, [&] {
        file.reset(CreateFileW(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &security.attributes, OPEN_ALWAYS,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
            nullptr));
        return file ? DWORD{ERROR_SUCCESS} : GetLastError();
    });
    if (error != ERROR_SUCCESS) {
        return nullptr;
    }
    RemoveHostsLeftovers(system + L"\\drivers\\etc");
    return std::make_unique<WinMachineLock>(std::move(file));
}
