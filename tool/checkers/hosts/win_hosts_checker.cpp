#include "win_hosts_checker.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "utf.h"
#include "win_files.h"
#include "win_handle_owners.h"

static_assert(kReadOnlyFileError == ERROR_FILE_READ_ONLY &&
              kAccessDeniedError == ERROR_ACCESS_DENIED);

namespace {

constexpr wchar_t kBackupSuffix[] = L".bak";
// what a replaced file keeps of its attributes; read-only files are never replaced
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// beyond this a reported size is not believed; it only sizes the text
constexpr std::uint64_t kLargestPlausibleFile = 1ULL << 30;

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? fallback : error;
}

// Clears the attributes of an earlier read-only backup, which took the file's and would not be
// replaced: by handle, and only when that name is the file's only one and not a reparse point, so
// that the attributes of a file reached through another name or a link never change.
void ClearAttributesOfSoleName(const std::wstring& path) {
    const UniqueFileHandle file(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
    const UniqueFileHandle source(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    MarkedTemporary copy = source ? MarkedTemporary::Create(folder) : MarkedTemporary();
    DWORD error = ERROR_SUCCESS;
    const ByteReader read = ReaderOf(source.get(), error);
    char buffer[65536];
    for (std::size_t got = 1; copy && got > 0;) {
        got = read(buffer, sizeof buffer);
        if (error != ERROR_SUCCESS || (got > 0 && !WriteAll(copy.get(), buffer, got))) {
            SetLastError(error != ERROR_SUCCESS ? error : GetLastError());
            return MarkedTemporary();
        }
    }
    return copy;
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

    DWORD Make(const std::wstring& directory, const std::wstring& path, DWORD attributes) {
        const std::wstring backupPath = path + kBackupSuffix;
        const std::optional<FileIdentity> current = IdentityAt(path);
        const std::optional<FileIdentity> earlierBackup = IdentityAt(backupPath);
        // a run cut short after the backup left it naming the file itself: it is the backup
        if (current && earlierBackup && *current == *earlierBackup) {
            return ERROR_SUCCESS;
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
        const DWORD error = backup
                                ? backup.RenameTo(path.substr(directory.size() + 1) + kBackupSuffix)
                                : LastErrorOr(ERROR_GEN_FAILURE);
        made = error == ERROR_SUCCESS;
        return error;
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
    // the earlier backup's second name, removed when the backup is done with
    std::wstring earlier;
    bool made = false;
};

// The Windows file steps of the check and the repair.
class WinHostsFile : public HostsFile {
public:
    explicit WinHostsFile(std::string hostsPath)
        : path(std::move(hostsPath)), widePath(WidePath(path).value_or(std::wstring())) {
        directory = widePath.substr(0, widePath.find_last_of(L'\\'));
    }

    const std::string& Path() const override { return path; }

    Opened OpenSource() override {
        // no path at all counts as an empty file; one that does not come through whole names no
        // file we may read or replace
        if (widePath.empty()) {
            return path.empty() ? Absent : Unreadable;
        }
        // every kind of sharing, so that no other program's use of the file is disturbed
        const HANDLE opened = CreateFileW(widePath.c_str(), GENERIC_READ, kShareAll, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        source.reset(opened);
        // one that is there but cannot be read (locked, denied, a folder) is not empty
        return source                                                           ? Open
               : error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Absent
                                                                                : Unreadable;
    }

    void CloseSource() override { source.reset(); }

    ByteReader ReadSource(unsigned long& error) override {
        if (!Seek(source.get(), 0)) {
            error = LastErrorOr(ERROR_INVALID_HANDLE);
            return [](char*, std::size_t) { return std::size_t{0}; };
        }
        return ReaderOf(source.get(), error);
    }

    std::size_t SourceSize() override {
        const std::uint64_t size = SizeOf(source.get());
        return size > kLargestPlausibleFile ? 0 : static_cast<std::size_t>(size);
    }

    Place FindPlace() override {
        attributes = GetFileAttributesW(widePath.c_str());
        const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
        return {exists, exists && (attributes & FILE_ATTRIBUTE_READONLY) != 0,
                exists && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    }

    unsigned long CreateTemporary() override {
        // marked for deletion until it takes the file's place, so that a run cut short leaves
        // nothing
        temporary = MarkedTemporary::Create(directory);
        return temporary ? ERROR_SUCCESS : LastErrorOr(ERROR_GEN_FAILURE);
    }

    ByteWriter WriteTemporary(unsigned long& error) override {
        return WriterOf(temporary.get(), &error);
    }

    unsigned long EmptyTemporary() override {
        return Seek(temporary.get(), 0) && SetEndOfFile(temporary.get()) ? ERROR_SUCCESS
                                                                         : GetLastError();
    }

    unsigned long FlushTemporary() override {
        return FlushFileBuffers(temporary.get()) ? ERROR_SUCCESS : GetLastError();
    }

    unsigned long CarryAttributes() override {
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kCarriedAttributes) == 0) {
            return ERROR_SUCCESS;
        }
        FILE_BASIC_INFO basic = {};  // times of zero are left as they are
        basic.FileAttributes = attributes & kCarriedAttributes;
        return SetFileInformationByHandle(temporary.get(), FileBasicInfo, &basic, sizeof(basic))
                   ? ERROR_SUCCESS
                   : GetLastError();
    }

    unsigned long AwaitReplaceable() override {
        // a program holding the file open without FILE_SHARE_DELETE blocks a rename over it; any
        // other reason the probe fails is the replace's own to meet
        const DWORD error = Retry(kWhileHeld, [this] {
            const UniqueFileHandle probe(CreateFileW(widePath.c_str(), DELETE, kShareAll, nullptr,
                                                     OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                                     nullptr));
            return probe ? DWORD{ERROR_SUCCESS} : GetLastError();
        });
        return IsHeld(error) ? error : DWORD{ERROR_SUCCESS};
    }

    unsigned long MakeBackup() override {
        // A backup and a rename rather than ReplaceFile: ReplaceFile renames the file to the
        // backup name first, and a failure after that leaves no hosts file at all.
        backup.emplace();
        return backup->Make(directory, widePath, attributes);
    }

    unsigned long Replace() override {
        const DWORD error = temporary.RenameTo(widePath.substr(directory.size() + 1), kWhileHeld);
        if (error != ERROR_SUCCESS && backup) {
            backup->Undo(widePath);
        }
        return error;
    }

    // the earlier backup's second name removed, a temporary that took no file's place with it
    void EndRepair() override {
        backup.reset();
        temporary = MarkedTemporary();
    }

private:
    std::string path;
    std::wstring widePath;
    std::wstring directory;
    UniqueFileHandle source;
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    MarkedTemporary temporary;
    std::optional<Backup> backup;
};

}  // namespace

WinHostsChecker::WinHostsChecker(RepairLog& log, std::string path)
    : HostsChecker(std::make_unique<WinHostsFile>(std::move(path)), &log) {}

std::string WinHostsChecker::SystemHostsFilePath() {
    return HostsFilePath(Utf8FromUtf16Strict(SystemDirectory()).value_or(std::string()));
}

std::unique_ptr<HostsChecker> CreateHostsChecker(RepairLog& log) {
    return std::make_unique<WinHostsChecker>(log);
}
