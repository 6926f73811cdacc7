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

constexpr wchar_t kTemporaryPrefix[] = L"hst";
constexpr wchar_t kBackupPrefix[] = L"bak";
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
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!file || !GetFileInformationByHandle(file.get(), &information) ||
        information.nNumberOfLinks != 1 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0) {
        return;
    }
    FILE_BASIC_INFO basic = {};  // times of zero are left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof(basic));
}

// Keeps the version a replace overwrites: a second name of that file, made before the replace,
// becomes hosts.ics.bak (the latest replaced version) once the replace has succeeded, so a failed
// repair leaves the earlier backup as it was. Where the volume has no hard links (FAT), or the file
// is a reparse point, whose link would not hold its bytes, the file is copied aside instead. A
// backup that cannot be made is logged and does not stop the repair: every line of the file is
// carried over anyway.
class Backup {
public:
    Backup(const std::wstring& directory, const std::wstring& path, DWORD attributes)
        : original(path) {
        if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
            link.emplace(directory, kBackupPrefix, [&path](const std::wstring& name) {
                return CreateHardLinkW(name.c_str(), path.c_str(), nullptr) != FALSE;
            });
            if (!link->Path().empty()) {
                return;
            }
            link.reset();
        }
        copy.emplace(directory, kBackupPrefix);
        if (copy->Path().empty() || !CopyFileW(original.c_str(), copy->Path().c_str(), FALSE)) {
            error = GetLastError();
        }
    }

    // The file has been replaced: its second name, or the copy, takes the backup's name.
    void Keep(const std::string& utf8Path) {
        const std::wstring backup = original + kBackupSuffix;
        if (error == ERROR_SUCCESS) {
            TemporaryFile& kept = link ? *link : *copy;
            ClearAttributesOfSoleName(backup);
            if (MoveFileExW(kept.Path().c_str(), backup.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                kept.Keep();
                return;
            }
            error = GetLastError();
        }
        LogRepair("hosts backup not made: " + utf8Path + ".bak (error " + std::to_string(error) +
                  ")");
    }

private:
    std::wstring original;
    std::optional<TemporaryFile> link;
    std::optional<TemporaryFile> copy;
    DWORD error = ERROR_SUCCESS;
};

bool Transient(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

// Whether nothing keeps the file from being replaced now: a program holding it open without
// FILE_SHARE_DELETE blocks a rename over it, and would keep a second name of it from being removed
// again. False with the reason in GetLastError.
bool Replaceable(const std::wstring& path) {
    const UniqueFileHandle probe(
        CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return probe || !Transient(GetLastError());
}

// Renames replacement over path, tried again while another program holds path open; ready runs
// before each try and puts it off by answering false, the reason in GetLastError.
bool ReplaceRetrying(const std::wstring& replacement, const std::wstring& path,
                     const std::function<bool()>& ready) {
    for (int attempt = 1;; ++attempt) {
        if (ready() && MoveFileExW(replacement.c_str(), path.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (!Transient(GetLastError()) || attempt == kReplaceAttempts) {
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
    TemporaryFile temporary(directory, kTemporaryPrefix);
    if (temporary.Path().empty()) {
        return Fail(HostsRepairFailed, "create temporary file", GetLastError());
    }
    UniqueFileHandle file(CreateFileW(temporary.Path().c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return Fail(HostsRepairFailed, "open temporary file", GetLastError());
    }
    const ByteWriter write = [&file](const char* data, std::size_t size) {
        return WriteAll(file.get(), data, size);
    };
    const bool written =
        source ? CopyAppending(write,
                               [&file] { return Rewind(file.get()) && SetEndOfFile(file.get()); })
               : WriteWithCrLf(repairedContent, write);
    const DWORD writeError = written ? ERROR_SUCCESS : GetLastError();
    source.reset();  // read to its end: it must not hold the file against the replace
    if (!written) {
        return Fail(HostsRepairFailed, "write", writeError);
    }
    if (!FlushFileBuffers(file.get())) {
        return Fail(HostsRepairFailed, "flush", GetLastError());
    }
    // closed here, not by the owner, since the system may fail a write only at closing time
    if (!CloseHandle(file.release())) {
        return Fail(HostsRepairFailed, "close", GetLastError());
    }
    if (exists && (attributes & kCarriedAttributes) != 0 &&
        !SetFileAttributesW(temporary.Path().c_str(), attributes & kCarriedAttributes)) {
        return Fail(HostsRepairFailed, "set attributes", GetLastError());
    }
    // A second name and a rename rather than ReplaceFile: ReplaceFile renames the file to the
    // backup name first, and a failure after that leaves no hosts file at all; here it is always
    // there. The backup is made once the file can be replaced, so that it can be removed again.
    std::optional<Backup> backup;
    const auto ready = [&]() {
        if (exists && !backup) {
            if (!Replaceable(*widePath)) {
                return false;
            }
            backup.emplace(directory, *widePath, attributes);
        }
        return true;
    };
    if (!ReplaceRetrying(temporary.Path(), *widePath, ready)) {
        return Fail(HostsRepairFailed, "replace", GetLastError());
    }
    temporary.Keep();
    if (backup) {
        backup->Keep(path);
    }
    return Repaired;
}

std::unique_ptr<HostsChecker> CreateHostsChecker() { return std::make_unique<WinHostsChecker>(); }
