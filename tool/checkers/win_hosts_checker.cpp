#include "win_hosts_checker.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "line_scan.h"
#include "repair_log.h"
#include "win_files.h"
#include "win_handle_owners.h"
#include "win_paths.h"
#include "win_text.h"

namespace {

constexpr wchar_t kBackupSuffix[] = L".bak";
// what a replaced file keeps of its attributes; read-only files are never replaced
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// beyond this a reported size is not believed; it only sizes the text
constexpr LONGLONG kLargestPlausibleFile = 1LL << 30;
// A program that has the file open (the DNS client, a virus scanner, a reader) makes the replace
// fail for a moment: it is tried this often, with this pause between, about two seconds in all.
constexpr int kReplaceAttempts = 20;
constexpr DWORD kReplacePauseMs = 100;

// The size of the open file for sizing the buffer; 0 when it cannot tell plausibly.
std::size_t FileSize(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 ||
        size.QuadPart > kLargestPlausibleFile) {
        return 0;
    }
    return static_cast<std::size_t>(size.QuadPart);
}

// Reads an open file for the rules; a read that fails ends the bytes and sets failed.
ByteReader ReaderOf(HANDLE file, bool& failed) {
    return [file, &failed](char* buffer, std::size_t size) -> std::size_t {
        const DWORD wanted = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        DWORD got = 0;
        if (!ReadFile(file, buffer, wanted, &got, nullptr)) {
            failed = true;
            return 0;
        }
        return got;
    };
}

// Clears the attributes of an earlier read-only backup, which took the file's and would not be
// replaced: by handle, and only when that name is the file's only one and not a reparse point, so
// that the attributes of a file reached through another name or a link never change.
void ClearAttributesOfSoleName(const std::wstring& path) {
    const UniqueFileHandle file(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const std::optional<FileIdentity> identity = file ? IdentityOf(file.get()) : std::nullopt;
    if (!identity || identity->links != 1 ||
        (identity->attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (identity->attributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return;
    }
    FILE_BASIC_INFO basic = {};  // times of zero are left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof(basic));
}

// A marked copy, in folder, of the file at path.
MarkedTemporary MarkedCopy(const std::wstring& folder, const std::wstring& path) {
    const UniqueFileHandle source(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) {
        return MarkedTemporary();
    }
    MarkedTemporary copy = MarkedTemporary::Create(folder);
    if (!copy) {
        return copy;
    }
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source.get(), buffer, sizeof buffer, &got, nullptr) ||
            (got > 0 && !WriteAll(copy.get(), buffer, got))) {
            return MarkedTemporary();
        }
        if (got == 0) {
            return copy;
        }
    }
}

// hosts.ics.bak is the file as it was before the last replace that took effect. It is made before
// the replace, from a second name of the file (a copy where the volume has no hard links, or the
// file is a reparse point, whose link would not hold its bytes), so a run cut short between the two
// leaves it naming the file as it still is, never an older one. The earlier backup keeps a second
// name until the replace is done, and takes its name back when the replace fails. That name cannot
// be marked for deletion: a file held open cannot be replaced, so a run cut short leaves it for the
// next run to remove.
class Backup {
public:
    ~Backup() {
        if (!earlier.empty()) {
            DeleteFileW(earlier.c_str());
        }
    }

    // False with the reason in GetLastError when the backup could not be made.
    bool Make(const std::wstring& directory, const std::wstring& path, DWORD attributes) {
        const std::wstring backupPath = path + kBackupSuffix;
        const std::optional<FileIdentity> current = IdentityAt(path);
        const std::optional<FileIdentity> earlierBackup = IdentityAt(backupPath);
        // a run cut short after the backup left it naming the file itself: it is the backup
        if (current && earlierBackup && *current == *earlierBackup) {
            return true;
        }
        if (earlierBackup) {
            ClearAttributesOfSoleName(backupPath);
        }
        // An earlier backup of its own is kept for a failed replace to put back; one that shares
        // its file with another name lives on there. Where the volume has no hard links it cannot
        // be kept: the new backup then names the file as it still is.
        const std::optional<FileIdentity> sole = IdentityAt(backupPath);
        if (sole && sole->links == 1 && (sole->attributes & FILE_ATTRIBUTE_READONLY) == 0) {
            MarkedTemporary link = MarkedTemporary::Link(directory, backupPath);
            if (link && MarkForDeletion(link.get(), false)) {
                earlier = link.Path();
            }
        }
        MarkedTemporary backup;
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            backup = MarkedTemporary::Link(directory, path);
        }
        if (!backup) {
            backup = MarkedCopy(directory, path);
        }
        if (!backup || !backup.RenameTo(backupName(path))) {
            const DWORD error = GetLastError();
            SetLastError(error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error);
            return false;
        }
        made = true;
        return true;
    }

    // The replace did not take effect: the earlier backup takes its name back.
    void Undo(const std::wstring& path) {
        if (made && !earlier.empty() &&
            MoveFileExW(earlier.c_str(), (path + kBackupSuffix).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            earlier.clear();
        }
    }

private:
    static std::wstring backupName(const std::wstring& path) {
        return path.substr(path.find_last_of(L'\\') + 1) + kBackupSuffix;
    }

    // the earlier backup's second name, removed when the backup is done with
    std::wstring earlier;
    bool made = false;
};

bool Transient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Whether nothing keeps the file from being replaced now: a program holding it open without
// FILE_SHARE_DELETE blocks a rename over it. False with the reason in GetLastError.
bool Replaceable(const std::wstring& path) {
    const UniqueFileHandle probe(
        CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return probe || !Transient(GetLastError());
}

// Runs step until it succeeds, tried again while another program holds the file (a transient
// error); false with the last reason in GetLastError.
template <typename Step>
bool Retrying(const Step& step) {
    for (int attempt = 1;; ++attempt) {
        if (step()) {
            return true;
        }
        const DWORD error = GetLastError();
        if (!Transient(error) || attempt == kReplaceAttempts) {
            SetLastError(error);
            return false;
        }
        Sleep(kReplacePauseMs);
    }
}

}  // namespace

std::string WinHostsChecker::GetHostsFilePath() {
    return HostsFilePath(Utf8FromUtf16(SystemDirectory()).value_or(std::string()));
}

int WinHostsChecker::BuildHostsContent() {
    source.reset();
    const std::string path = GetHostsFilePath();
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath) {
        return CheckInternalError;
    }
    // a missing file (or no path at all) counts as empty
    UniqueFileHandle file;
    if (!widePath->empty()) {
        // every kind of sharing, so that no other program's use of the file is disturbed
        file.reset(CreateFileW(widePath->c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = file ? ERROR_SUCCESS : GetLastError();
        if (!file && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            // it is there but cannot be read (locked, denied, a folder): rebuilt from nothing,
            // its lines would be lost
            return CheckInternalError;
        }
    }
    if (!file) {
        HostsRewrite rewrite = RewriteHosts(std::string_view(), entries);
        repairedContent = std::move(rewrite.text);
        return rewrite.check;
    }
    bool readFailed = false;
    // The common repair, a file that lacks the entry, only appends to it: the file is then copied
    // when repaired, never held whole.
    const UnchangedRead scan = ReadOnlyAppended(ReaderOf(file.get(), readFailed), entries);
    if (readFailed) {
        return CheckInternalError;
    }
    if (scan.unchanged) {
        source = std::move(file);
        return CheckWrong;  // there are entries, and none is in the file
    }
    if (!Rewind(file.get())) {
        return CheckInternalError;
    }
    // read piece by piece: the file is never held whole besides its text
    HostsRewrite rewrite =
        RewriteHosts(ReaderOf(file.get(), readFailed), FileSize(file.get()), entries);
    // a read that failed part-way would lose the rest of the file
    if (readFailed) {
        return CheckInternalError;
    }
    repairedContent = std::move(rewrite.text);
    return rewrite.check;
}

// The file as it is now, and the missing lines after it, to write. Should the file have changed
// since the check so that the rules would change more than add lines, write gets the rules' text
// for it as it is now instead, once rewind has taken back what it was given.
bool WinHostsChecker::CopyAppending(const ByteWriter& write, const std::function<bool()>& rewind) {
    bool readFailed = false;
    if (!Rewind(source.get())) {
        return false;
    }
    const UnchangedRead copied =
        ReadOnlyAppended(ReaderOf(source.get(), readFailed), entries, write);
    if (readFailed || copied.copyFailed) {
        return false;
    }
    if (copied.unchanged) {
        const std::string lines = AppendedLines(entries);
        return write(lines.data(), lines.size());
    }
    if (!Rewind(source.get()) || !rewind()) {
        return false;
    }
    const HostsRewrite rewrite =
        RewriteHosts(ReaderOf(source.get(), readFailed), FileSize(source.get()), entries);
    return !readFailed && rewrite.check != CheckInternalError && WriteWithCrLf(rewrite.text, write);
}

// The text goes to a sibling file first and replaces the hosts file only once it is written and
// closed whole, so a failure at any step leaves the old file as it was.
int WinHostsChecker::Repair() {
    ClearRepairFailure();
    const std::string path = GetHostsFilePath();
    // a Check that found the file wrong always built some text or kept the file to copy: never
    // empty the file for nothing
    if (path.empty() || (repairedContent.empty() && !source)) {
        return Fail(HostsRepairFailed, "prepare text", 0);
    }
    const std::optional<std::wstring> widePath = Utf16FromUtf8(path);
    if (!widePath) {
        return Fail(HostsRepairFailed, "convert path", ERROR_NO_UNICODE_TRANSLATION);
    }
    // a read-only file is not writable for us, even where the system would let a rename replace it
    const DWORD attributes = GetFileAttributesW(widePath->c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Fail(HostsRepairFailed, "read-only file", ERROR_FILE_READ_ONLY);
    }
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(HostsRepairFailed, "folder in the file's place", ERROR_ACCESS_DENIED);
    }

    const std::wstring directory = widePath->substr(0, widePath->find_last_of(L'\\'));
    const std::wstring name = widePath->substr(directory.size() + 1);
    // marked for deletion until it takes the file's place, so that a run cut short leaves nothing
    MarkedTemporary temporary = MarkedTemporary::Create(directory);
    if (!temporary) {
        return Fail(HostsRepairFailed, "create temporary file", GetLastError());
    }
    const ByteWriter write = [&temporary](const char* data, std::size_t size) {
        return WriteAll(temporary.get(), data, size);
    };
    const bool written =
        source ? CopyAppending(write,
                               [&temporary] {
                                   return Rewind(temporary.get()) && SetEndOfFile(temporary.get());
                               })
               : WriteWithCrLf(repairedContent, write);
    const DWORD writeError = written ? ERROR_SUCCESS : GetLastError();
    source.reset();  // read to its end: it must not hold the file against the replace
    if (!written) {
        return Fail(HostsRepairFailed, "write", writeError);
    }
    if (!FlushFileBuffers(temporary.get())) {
        return Fail(HostsRepairFailed, "flush", GetLastError());
    }
    if (exists && (attributes & kCarriedAttributes) != 0) {
        FILE_BASIC_INFO basic = {};  // times of zero are left as they are
        basic.FileAttributes = attributes & kCarriedAttributes;
        if (!SetFileInformationByHandle(temporary.get(), FileBasicInfo, &basic, sizeof(basic))) {
            return Fail(HostsRepairFailed, "set attributes", GetLastError());
        }
    }
    // A backup and a rename rather than ReplaceFile: ReplaceFile renames the file to the backup
    // name first, and a failure after that leaves no hosts file at all; here it is always there.
    Backup backup;
    if (exists) {
        if (!Retrying([&] { return Replaceable(*widePath); })) {
            return Fail(HostsRepairFailed, "replace", GetLastError());
        }
        if (!backup.Make(directory, *widePath, attributes)) {
            const DWORD error = GetLastError();
            // the file's other lines are carried over anyway, but a replace that leaves neither a
            // backup nor a note of its absence is not made
            if (!LogRepair("hosts backup not made: " + path + ".bak (error " +
                           std::to_string(error) + ")")) {
                return Fail(HostsRepairFailed, "backup", error);
            }
        }
    }
    if (!Retrying([&] { return temporary.RenameTo(name); })) {
        const DWORD error = GetLastError();
        backup.Undo(*widePath);
        return Fail(HostsRepairFailed, "replace", error);
    }
    return Repaired;
}

std::unique_ptr<HostsChecker> CreateHostsChecker() { return std::make_unique<WinHostsChecker>(); }
