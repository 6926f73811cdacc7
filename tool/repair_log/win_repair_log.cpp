#include <windows.h>
// after windows.h, which they need
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "repair_log.h"
#include "utf.h"
#include "win_files.h"
#include "win_handle_owners.h"

namespace {

constexpr wchar_t kLogFileName[] = L"repairs.log";
// The folder: as the log, and inherited by what it holds.
constexpr wchar_t kFolderSddl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// Where a folder that is not the tool's own has the log's name, the log is kept in a folder of its
// own beside it, "<name>-repairs-<8 hex digits>", found again by later runs. So many names of that
// pattern are looked at (a user may make many of them, none trusted), and so many new names tried.
constexpr wchar_t kFallbackInfix[] = L"-repairs-";
constexpr int kFallbackLookups = 4096;
constexpr int kFallbackCandidates = 64;

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

// The folder parentPath\name when the log may be kept there: made now with the log's own access
// list (when mayCreate), or one that is there already, a folder of its own (no link), owned by the
// system, the administrators or this account, and no one else may change what it holds.
UniqueFileHandle OpenTrustedFolder(HANDLE parent, const std::wstring& parentPath,
                                   const std::wstring& name, bool mayCreate) {
    Security security(kFolderSddl);
    if (!security.descriptor) {
        return UniqueFileHandle();
    }
    const std::wstring path = parentPath + L"\\" + name;
    NameOpen open = {NameKind::Folder, kLookAccess, kShareAll, FILE_OPEN, NoLink};
    OpenedName opened = OpenInFolder(parent, name, path, open);
    if (!opened.file && opened.error == ERROR_FILE_NOT_FOUND && mayCreate) {
        open = {NameKind::Folder, kLookAccess | DELETE,     kShareAll, FILE_CREATE,
                NoLink,           security.descriptor.get()};
        opened = OpenInFolder(parent, name, path, open);
    }
    if (opened.file && !opened.created) {
        const std::optional<FolderSecurity> read = ReadSecurity(opened.file.get());
        if (!read || !IsTrustedFolder(*read, RunningUser())) {
            return UniqueFileHandle();
        }
    }
    return std::move(opened.file);
}

struct LogFolder {
    UniqueFileHandle handle;
    std::wstring path;
};

// A folder of the log's own beside one that is someone else's: the first trusted one an earlier
// run made, else a new one.
LogFolder OpenFallbackFolder(HANDLE parent, const std::wstring& parentPath,
                             const std::wstring& name) {
    const std::wstring prefix = name + kFallbackInfix;
    WIN32_FIND_DATAW entry = {};
    const UniqueFindHandle search(FindFirstFileExW((parentPath + L"\\" + prefix + L"*").c_str(),
                                                   FindExInfoBasic, &entry, FindExSearchNameMatch,
                                                   nullptr, 0));
    for (int looked = 0; search && looked < kFallbackLookups; ++looked) {
        const std::wstring candidate = entry.cFileName;
        if (IsHexName(candidate, prefix.c_str(), 8, L"")) {
            UniqueFileHandle found = OpenTrustedFolder(parent, parentPath, candidate, false);
            if (found) {
                return LogFolder{std::move(found), parentPath + L"\\" + candidate};
            }
        }
        if (!FindNextFileW(search.get(), &entry)) {
            break;
        }
    }
    Security security(kFolderSddl);
    for (int attempt = 0; attempt < kFallbackCandidates; ++attempt) {
        const std::wstring candidate = prefix + UniqueHexName();
        const std::wstring path = parentPath + L"\\" + candidate;
        OpenedName made = OpenInFolder(parent, candidate, path,
                                       {NameKind::Folder, kLookAccess | DELETE, kShareAll,
                                        FILE_CREATE, NoLink, security.descriptor.get()});
        if (made.file) {
            return LogFolder{std::move(made.file), path};
        }
        if (made.error != ERROR_ALREADY_EXISTS && made.error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    return LogFolder();
}

std::string UtcTime() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    char text[32] = {};
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
}

// The run's log, opened at its first line and kept open to the end of the run. Lines are added in
// place: no rename into the folder is needed, which anyone holding the folder open could refuse.
class WinRepairLog : public RepairLog {
public:
    explicit WinRepairLog(const std::string& folder) : name(folder) {}

    unsigned long Append(const std::string& event) override {
        // a log that cannot be had is looked for once a run
        if (!file) {
            if (opened) {
                return ERROR_PATH_NOT_FOUND;
            }
            opened = true;
            if (const DWORD error = Open()) {
                return error;
            }
        }
        const std::string line = UtcTime() + " " + event + "\r\n";
        const std::uint64_t size = SizeOf(file.get());
        if (size + line.size() > kRepairLogLimit && Trim(line)) {
            return ERROR_SUCCESS;
        }
        if (!file) {
            return ERROR_PATH_NOT_FOUND;
        }
        // a line that could not be stored whole is taken back, so the log is as it was
        DWORD error = ERROR_SUCCESS;
        if (!Seek(file.get(), size) || !WriterOf(file.get(), &error)(line.data(), line.size()) ||
            !FlushFileBuffers(file.get())) {
            error = error != ERROR_SUCCESS ? error : GetLastError();
            Seek(file.get(), size);
            SetEndOfFile(file.get());
            if (size == 0 && created) {
                // nothing of this run's own log is left behind
                MarkForDeletion(file.get(), true);
                file.reset();
            }
            return error;
        }
        return ERROR_SUCCESS;
    }

private:
    DWORD Open() {
        UniqueCoTaskText programData;
        const std::optional<std::wstring> wideName = WidePath(name);
        if (FAILED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, programData.put())) ||
            !programData || !wideName) {
            return ERROR_PATH_NOT_FOUND;
        }
        const std::wstring parentPath = programData.get();
        const UniqueFileHandle parent(CreateFileW(parentPath.c_str(), kLookAccess, kShareAll,
                                                  nullptr, OPEN_EXISTING,
                                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!parent) {
            return GetLastError();
        }
        folder = {OpenTrustedFolder(parent.get(), parentPath, *wideName, true),
                  parentPath + L"\\" + *wideName};
        if (!folder.handle) {
            // someone else's folder stands at that name: it is left as it is
            folder = OpenFallbackFolder(parent.get(), parentPath, *wideName);
        }
        if (!folder.handle) {
            return ERROR_ACCESS_DENIED;
        }
        // what a rewrite cut short left, and the copies earlier versions left when a write failed
        RemoveLeftovers(folder.path, [](const std::wstring& leftover, const FileIdentity&) {
            return IsTemporaryName(leftover) || IsHexName(leftover, L"log", 4, L".tmp");
        });
        return OpenFile();
    }

    // The log in the folder: a file of its own, never a link to another.
    DWORD OpenFile() {
        Security security(kAdministratorsOnly);
        OpenedName opened = OpenInFolder(
            folder.handle.get(), kLogFileName, folder.path + L"\\" + kLogFileName,
            {NameKind::File,
             FILE_READ_DATA | FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | DELETE,
             FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_OPEN_IF, NoLink | SingleName,
             security.descriptor.get()});
        file = std::move(opened.file);
        created = opened.created;
        return opened.error;
    }

    // The newest lines that fit the limit, line last, replace the log whole. False when that cannot
    // be done; the line is then appended, the file passing the limit rather than losing a line.
    bool Trim(const std::string& line) {
        const std::uint64_t size = SizeOf(file.get());
        const std::uint64_t start = size > kRepairLogLimit ? size - kRepairLogLimit : 0;
        DWORD error = ERROR_SUCCESS;
        const FileContents end = Seek(file.get(), start)
                                     ? ReadBounded(file.get(), kRepairLogLimit, error)
                                     : FileContents{FileRead::Unreadable, std::string()};
        if (end.status != FileRead::Read) {
            return false;
        }
        const std::string log = ComposeLog(end.bytes, start > 0, line, kRepairLogLimit);
        Security security(kAdministratorsOnly);
        MarkedTemporary replacement = MarkedTemporary::Create(folder.path, &security.attributes);
        if (!replacement || !WriterOf(replacement.get())(log.data(), log.size()) ||
            !FlushFileBuffers(replacement.get())) {
            return false;
        }
        // a file that is open cannot be replaced: the log is let go for the rename and opened
        // again after it, the replacement or, when the rename failed, the log as it was
        file.reset();
        const bool replaced = replacement.RenameTo(kLogFileName) == ERROR_SUCCESS;
        replacement = MarkedTemporary();
        return OpenFile() == ERROR_SUCCESS && replaced;
    }

    std::string name;
    LogFolder folder;
    UniqueFileHandle file;
    bool created = false;
    bool opened = false;
};

}  // namespace

std::unique_ptr<RepairLog> CreateRepairLog(const std::string& folder) {
    return std::make_unique<WinRepairLog>(folder);
}
