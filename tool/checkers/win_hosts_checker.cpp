#include "win_hosts_checker.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "line_scan.h"
#include "win_handles.h"

namespace {

constexpr char kTemporaryPrefix[] = "hst";
// what a replaced file keeps of its attributes; read-only files are never replaced
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// beyond this a reported size is not believed (a directory reports the largest offset there is)
constexpr long kLargestPlausibleFile = 1L << 30;

// The Windows system directory without a trailing separator; empty when it cannot be had.
std::string SystemDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    // zero is failure; MAX_PATH or more is the size a buffer would have needed
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    return std::string(buffer, length);
}

// The size of the open file for sizing the text (0 when the stream cannot tell plausibly), back
// at its start; false when it cannot go back, as the bytes would then be skipped.
bool MeasureFile(std::FILE* file, std::size_t& size) {
    size = 0;
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return true;
    }
    const long end = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0) {
        return false;
    }
    if (end > 0 && end <= kLargestPlausibleFile) {
        size = static_cast<std::size_t>(end);
    }
    return true;
}

// Removes the temporary file again unless it has taken the target's place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path(std::move(path)) {}
    ~TemporaryFile() {
        if (!kept) {
            DeleteFileA(path.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const char* Path() const { return path.c_str(); }
    void Keep() { kept = true; }

private:
    std::string path;
    bool kept = false;
};

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD piece = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, piece, &written, nullptr) || written != piece) {
            return false;
        }
        data += piece;
        size -= piece;
    }
    return true;
}

}  // namespace

std::string WinHostsChecker::GetHostsFilePath() { return HostsFilePath(SystemDirectory()); }

int WinHostsChecker::BuildHostsContent() {
    const std::string path = GetHostsFilePath();
    // a missing file (or no path at all) counts as empty
    errno = 0;
    const UniqueCFile file(path.empty() ? nullptr : std::fopen(path.c_str(), "rb"));
    if (!file) {
        if (!path.empty() && errno != ENOENT) {
            // it is there but cannot be read (locked, denied): rebuilt from nothing, its lines
            // would be lost
            return CheckInternalError;
        }
        HostsRewrite rewrite = RewriteHosts(std::string_view(), entries);
        repairedContent = std::move(rewrite.text);
        return rewrite.check;
    }
    std::size_t size = 0;
    if (!MeasureFile(file.get(), size)) {
        return CheckInternalError;
    }
    // read piece by piece: the file is never held whole besides its text
    HostsRewrite rewrite = RewriteHosts(
        [&file](char* buffer, std::size_t bufferSize) {
            return std::fread(buffer, 1, bufferSize, file.get());
        },
        size, entries);
    // a read that failed part-way would lose the rest of the file
    if (std::ferror(file.get()) != 0) {
        return CheckInternalError;
    }
    repairedContent = std::move(rewrite.text);
    return rewrite.check;
}

// The text goes to a sibling file first and replaces the hosts file only once it is written and
// closed whole, so a failure at any step leaves the old file as it was.
int WinHostsChecker::Repair() {
    const std::string path = GetHostsFilePath();
    // a Check that found the file wrong always built some text: never empty the file for nothing
    if (path.empty() || repairedContent.empty()) {
        return HostsRepairFailed;
    }
    // a read-only file is not writable for us, even where the system would let a rename replace it
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return HostsRepairFailed;
    }

    const std::string directory = path.substr(0, path.find_last_of('\\'));
    char temporaryName[MAX_PATH] = {};
    if (GetTempFileNameA(directory.c_str(), kTemporaryPrefix, 0, temporaryName) == 0) {
        return HostsRepairFailed;
    }
    TemporaryFile temporary(temporaryName);
    UniqueFileHandle file(CreateFileA(temporary.Path(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return HostsRepairFailed;
    }
    const bool written = WriteWithCrLf(
        repairedContent,
        [&file](const char* data, std::size_t size) { return WriteAll(file.get(), data, size); });
    if (!written || !FlushFileBuffers(file.get())) {
        return HostsRepairFailed;
    }
    // closed here, not by the owner, since the system may fail a write only at closing time
    if (!CloseHandle(file.release())) {
        return HostsRepairFailed;
    }
    if (exists && (attributes & kCarriedAttributes) != 0 &&
        !SetFileAttributesA(temporary.Path(), attributes & kCarriedAttributes)) {
        return HostsRepairFailed;
    }
    if (!MoveFileExA(temporary.Path(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return HostsRepairFailed;
    }
    temporary.Keep();
    return Repaired;
}

std::unique_ptr<HostsChecker> CreateHostsChecker() { return std::make_unique<WinHostsChecker>(); }
