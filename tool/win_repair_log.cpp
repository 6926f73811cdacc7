#include <windows.h>
// after windows.h, which they need
#include <aclapi.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "folder_trust.h"
#include "repair_log.h"
#include "win_files.h"
#include "win_handle_owners.h"
#include "win_paths.h"
#include "win_text.h"

namespace {

constexpr wchar_t kLogFileName[] = L"repairs.log";
// The folder and the log: SYSTEM and Administrators full control, nothing inherited from above and
// nothing for anyone else, so that no standard user may even open them, and none can hold them
// open against the tool.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr wchar_t kLogSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
// Where a folder that is not the tool's own has the log's name, the log is kept in a folder of its
// own beside it, "<name>-repairs-<8 hex digits>", found again by later runs; so many are looked at.
constexpr wchar_t kFallbackInfix[] = L"-repairs-";
constexpr int kFallbackCandidates = 64;
// Looking only: these rights are not weighed against anyone's sharing, so no one who holds a folder
// open can keep the tool from opening it.
constexpr ACCESS_MASK kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::optional<std::wstring> ProgramDataFolder() {
    UniqueCoTaskText folder;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, folder.put());
    if (FAILED(found) || !folder) {
        return std::nullopt;
    }
    return std::wstring(folder.get());
}

// Security attributes from SDDL text; the descriptor lives as long as the owner.
struct Security {
    explicit Security(const wchar_t* sddl) {
        if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                 descriptor.put(), nullptr)) {
            attributes.lpSecurityDescriptor = descriptor.get();
        }
    }
    UniqueLocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};

std::string SidText(PSID sid) {
    UniqueLocalText text;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, text.put())) {
        return std::string();
    }
    return Utf8FromUtf16(text.get()).value_or(std::string());
}

// The account this process runs as; under Wine it owns every file and folder.
std::string RunningUser() {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::string();
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, &buffer[0], size, &size)) {
        return std::string();
    }
    return SidText(reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid);
}

// The owner and access list of the open folder as the trust decision reads them.
std::optional<FolderSecurity> ReadSecurity(HANDLE folder) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(folder, SE_FILE_OBJECT,
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

// Whether the open folder is name in parent itself: not a link, whose final path would lead
// elsewhere (under Wine a Unix link is opened through even when asked for the link itself).
bool IsOwnFolderIn(HANDLE parent, HANDLE folder, const std::wstring& name) {
    const std::optional<FileIdentity> identity = IdentityOf(folder);
    if (!identity || (identity->attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (identity->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return false;
    }
    std::wstring expected = FinalPath(parent);
    const std::wstring actual = FinalPath(folder);
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

// The folder name in parent when the log may be kept there: made now with the log's own access
// list (when mayCreate), or one that is there already, a folder of its own (no link), owned by the
// system, the administrators or this account, and no one else may change what it holds.
UniqueFileHandle OpenTrustedFolder(HANDLE parent, const std::wstring& name, bool mayCreate) {
    Security security(kFolderSddl);
    if (!security.descriptor) {
        return UniqueFileHandle();
    }
    OpenedName opened =
        OpenInFolder(parent, name, NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, false);
    if (!opened.file && opened.error == ERROR_FILE_NOT_FOUND && mayCreate) {
        opened = OpenInFolder(parent, name, NameKind::Folder, kLookAccess | DELETE, kShareAll,
                              FILE_CREATE, false, security.descriptor.get());
    }
    if (!opened.file) {
        return UniqueFileHandle();
    }
    if (!IsOwnFolderIn(parent, opened.file.get(), name)) {
        if (opened.created) {
            // made, but not where it was asked for: nothing is left behind
            MarkForDeletion(opened.file.get(), true);
        }
        return UniqueFileHandle();
    }
    if (!opened.created) {
        const std::optional<FolderSecurity> read = ReadSecurity(opened.file.get());
        if (!read || !IsTrustedFolder(*read, RunningUser())) {
            return UniqueFileHandle();
        }
    }
    return std::move(opened.file);
}

bool IsFallbackName(const std::wstring& entry, const std::wstring& prefix) {
    if (entry.size() != prefix.size() + 8 ||
        CompareStringOrdinal(entry.c_str(), static_cast<int>(prefix.size()), prefix.c_str(),
                             static_cast<int>(prefix.size()), TRUE) != CSTR_EQUAL) {
        return false;
    }
    return entry.find_first_not_of(L"0123456789ABCDEFabcdef", prefix.size()) == std::wstring::npos;
}

// A folder of the log's own beside one that is someone else's: the first trusted one an earlier
// run made, else a new one.
struct LogFolder {
    UniqueFileHandle handle;
    std::wstring path;
};

LogFolder OpenFallbackFolder(HANDLE parent, const std::wstring& parentPath,
                             const std::wstring& name) {
    LogFolder folder;
    const std::wstring prefix = name + kFallbackInfix;
    WIN32_FIND_DATAW entry = {};
    const UniqueFindHandle search(FindFirstFileExW((parentPath + L"\\" + prefix + L"*").c_str(),
                                                   FindExInfoBasic, &entry, FindExSearchNameMatch,
                                                   nullptr, 0));
    for (int looked = 0; search && looked < kFallbackCandidates; ++looked) {
        const std::wstring candidate = entry.cFileName;
        if (IsFallbackName(candidate, prefix)) {
            folder.handle = OpenTrustedFolder(parent, candidate, false);
            if (folder.handle) {
                folder.path = parentPath + L"\\" + candidate;
                return folder;
            }
        }
        if (!FindNextFileW(search.get(), &entry)) {
            break;
        }
    }
    for (int attempt = 0; attempt < kFallbackCandidates; ++attempt) {
        const std::wstring candidate =
            prefix + HexName((GetTickCount() * 2654435761u) ^ (GetCurrentProcessId() << 12) ^
                             (static_cast<unsigned>(attempt) * 40503u));
        Security security(kFolderSddl);
        OpenedName made = OpenInFolder(parent, candidate, NameKind::Folder, kLookAccess | DELETE,
                                       kShareAll, FILE_CREATE, false, security.descriptor.get());
        if (made.file && IsOwnFolderIn(parent, made.file.get(), candidate)) {
            folder.handle = std::move(made.file);
            folder.path = parentPath + L"\\" + candidate;
            return folder;
        }
        if (made.file) {
            // made, but not where it was asked for: nothing is left behind
            MarkForDeletion(made.file.get(), true);
            break;
        }
        if (made.error != ERROR_ALREADY_EXISTS && made.error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return folder;
}

std::string UtcTime() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

std::uint64_t SizeOf(HANDLE file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool Seek(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != FALSE;
}

// The run's log, opened at its first line and kept open to the end of the run. Lines are added in
// place: no rename into the folder is needed, which anyone holding the folder open could refuse.
class OpenLog {
public:
    // False with the reason in GetLastError.
    bool Append(const std::string& line) {
        // a log that cannot be had is looked for once a run
        if (!file) {
            if (opened) {
                SetLastError(ERROR_PATH_NOT_FOUND);
                return false;
            }
            opened = true;
            if (!Open()) {
                return false;
            }
        }
        const std::uint64_t size = SizeOf(file.get());
        if (size + line.size() > kRepairLogLimit && Trim(line)) {
            return true;
        }
        if (!file) {
            return false;
        }
        // a line that could not be stored whole is taken back, so the log is as it was
        if (!Seek(file.get(), size) || !WriteAll(file.get(), line.data(), line.size()) ||
            !FlushFileBuffers(file.get())) {
            const DWORD error = GetLastError();
            Seek(file.get(), size);
            SetEndOfFile(file.get());
            if (size == 0 && created) {
                // nothing of this run's own log is left behind
                MarkForDeletion(file.get(), true);
                file.reset();
            }
            SetLastError(error);
            return false;
        }
        return true;
    }

private:
    bool Open() {
        const std::optional<std::wstring> programData = ProgramDataFolder();
        const std::optional<std::wstring> name = Utf16FromUtf8(RepairLogFolder());
        if (!programData || !name) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        const UniqueFileHandle parent(CreateFileW(programData->c_str(), kLookAccess, kShareAll,
                                                  nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!parent) {
            return false;
        }
        folder.handle = OpenTrustedFolder(parent.get(), *name, true);
        folder.path = *programData + L"\\" + *name;
        if (!folder.handle) {
            // someone else's folder stands at that name: it is left as it is
            folder = OpenFallbackFolder(parent.get(), *programData, *name);
        }
        if (!folder.handle) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        // what a rewrite cut short left, and the copies earlier versions left when a write failed
        RemoveLeftovers(folder.path, [](const std::wstring& name, const FileIdentity&) {
            return IsTemporaryName(name) || IsEarlierTemporaryName(name, L"log");
        });
        return OpenFile();
    }

    // The log in the folder: a file of its own, never a link to another.
    bool OpenFile() {
        Security security(kLogSddl);
        OpenedName opened = OpenInFolder(
            folder.handle.get(), kLogFileName, NameKind::File,
            FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE,
            FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN_IF, false, security.descriptor.get());
        const std::optional<FileIdentity> identity =
            opened.file ? IdentityOf(opened.file.get()) : std::nullopt;
        if (!identity || identity->links != 1 ||
            (identity->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0) {
            if (opened.file) {
                SetLastError(ERROR_ACCESS_DENIED);
            }
            return false;
        }
        file = std::move(opened.file);
        created = opened.created;
        return true;
    }

    // The newest lines that fit the limit, line last, replace the log whole. False when that cannot
    // be done; the line is then appended, the file passing the limit rather than losing a line.
    bool Trim(const std::string& line) {
        const std::uint64_t size = SizeOf(file.get());
        const std::uint64_t start = size > kRepairLogLimit ? size - kRepairLogLimit : 0;
        std::string end(static_cast<std::size_t>(size - start), '\0');
        DWORD got = 0;
        if (!Seek(file.get(), start) ||
            (!end.empty() &&
             !ReadFile(file.get(), &end[0], static_cast<DWORD>(end.size()), &got, nullptr))) {
            return false;
        }
        end.resize(got);
        const std::string log = ComposeLog(end, start > 0, line, kRepairLogLimit);
        Security security(kLogSddl);
        MarkedTemporary replacement = MarkedTemporary::Create(folder.path, &security.attributes);
        if (!replacement || !WriteAll(replacement.get(), log.data(), log.size()) ||
            !FlushFileBuffers(replacement.get())) {
            return false;
        }
        // a file that is open cannot be replaced: the log is let go for the rename and opened
        // again after it, the replacement or, when the rename failed, the log as it was
        file.reset();
        const bool replaced = replacement.RenameTo(kLogFileName);
        replacement = MarkedTemporary();
        return OpenFile() && replaced;
    }

    LogFolder folder;
    UniqueFileHandle file;
    bool created = false;
    bool opened = false;
};

OpenLog& TheLog() {
    static OpenLog log;
    return log;
}

}  // namespace

bool LogRepair(const std::string& event) {
    return TheLog().Append(UtcTime() + " " + event + "\r\n");
}
