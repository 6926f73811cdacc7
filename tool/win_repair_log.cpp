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
constexpr wchar_t kTemporaryPrefix[] = L"log";
// The folder: SYSTEM and Administrators full control, Users read, nothing inherited from above.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
// The log itself: no standard user may even open it, so none can hold it open against the replace.
constexpr wchar_t kLogSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
// A replace that a reader blocks for a moment is tried this often, this far apart.
constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplacePauseMs = 50;

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

// The log's folder name in parent, made with its own access list when it is missing, opened and
// held so that it cannot be renamed or replaced while the log is read and written (no
// FILE_SHARE_DELETE). Nothing when it is not a plain folder there (a link could lead the log
// elsewhere) or someone other than the system, the administrators and this account owns it or may
// change what it holds.
UniqueFileHandle OpenTrustedFolder(const std::wstring& parent, const std::wstring& name) {
    const std::wstring folder = parent + L"\\" + name;
    Security security(kFolderSddl);
    if (!security.descriptor) {
        return UniqueFileHandle();
    }
    if (!CreateDirectoryW(folder.c_str(), &security.attributes) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        return UniqueFileHandle();
    }
    UniqueFileHandle held(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                      nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!held || !GetFileInformationByHandle(held.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !IsNamedInFolder(held.get(), parent, name)) {
        return UniqueFileHandle();
    }
    const std::optional<FolderSecurity> read = ReadSecurity(held.get());
    if (!read || !IsTrustedFolder(*read, RunningUser())) {
        return UniqueFileHandle();
    }
    return held;
}

struct LogEnd {
    std::string bytes;
    bool tail = false;  // bytes came before these
};

// The last kRepairLogLimit bytes of the log. Nothing is read from a log that is not a plain file of
// its own (a link could lead to another file, which would then be copied into the log).
LogEnd ReadLogEnd(const std::wstring& path) {
    LogEnd end;
    const UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file || !GetFileInformationByHandle(file.get(), &information) ||
        information.nNumberOfLinks != 1 ||
        (information.dwFileAttributes &
         (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return end;
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    if (size > kRepairLogLimit) {
        LARGE_INTEGER start = {};
        start.QuadPart = static_cast<LONGLONG>(size - kRepairLogLimit);
        if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
            return end;
        }
        end.tail = true;
    }
    std::string bytes(static_cast<std::size_t>(size < kRepairLogLimit ? size : kRepairLogLimit),
                      '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        !ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        return LogEnd();
    }
    bytes.resize(got);
    end.bytes = std::move(bytes);
    return end;
}

// The whole log goes to a sibling file first, which then takes the log's place.
void ReplaceLog(const std::wstring& folder, const std::wstring& path, const std::string& log) {
    Security security(kLogSddl);
    if (!security.descriptor) {
        return;
    }
    UniqueFileHandle file;
    TemporaryFile temporary(folder, kTemporaryPrefix, [&](const std::wstring& name) {
        file.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &security.attributes, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file);
    });
    if (temporary.Path().empty()) {
        return;
    }
    if (!WriteAll(file.get(), log.data(), log.size()) || !CloseHandle(file.release())) {
        return;
    }
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temporary.Path().c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            temporary.Keep();
            return;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION || attempt == kReplaceAttempts) {
            return;
        }
        Sleep(kReplacePauseMs);
    }
}

std::string UtcTime() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

}  // namespace

void LogRepair(const std::string& event) {
    const std::optional<std::wstring> programData = ProgramDataFolder();
    const std::optional<std::wstring> name = Utf16FromUtf8(RepairLogFolder());
    if (!programData || !name) {
        return;
    }
    const std::wstring folder = *programData + L"\\" + *name;
    // held until the log is written
    const UniqueFileHandle held = OpenTrustedFolder(*programData, *name);
    if (!held) {
        return;
    }
    const std::wstring path = folder + L"\\" + kLogFileName;
    const LogEnd end = ReadLogEnd(path);
    ReplaceLog(folder, path,
               ComposeLog(end.bytes, end.tail, UtcTime() + " " + event + "\r\n", kRepairLogLimit));
}
