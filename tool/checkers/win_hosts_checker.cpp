#include "win_hosts_checker.h"

#include <windows.h>

#include <utility>

namespace {

constexpr char kTemporaryPrefix[] = "hst";
// what a replaced file keeps of its attributes; read-only files are never replaced
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Owns a file handle. Close() reports whether the system accepted the close, so that a write the
// system only fails at closing time is not taken for success.
class UniqueFileHandle {
public:
    explicit UniqueFileHandle(HANDLE handle) : handle(handle) {}
    ~UniqueFileHandle() { Close(); }
    UniqueFileHandle(const UniqueFileHandle&) = delete;
    UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;

    bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle; }
    bool Close() {
        if (!Valid()) {
            return true;
        }
        return CloseHandle(std::exchange(handle, INVALID_HANDLE_VALUE)) != FALSE;
    }

private:
    HANDLE handle;
};

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

std::string SystemDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    // zero is failure; MAX_PATH or more is the size a buffer would have needed
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    return std::string(buffer, length);
}

// The text goes to a sibling file first and replaces the hosts file only once it is written and
// closed whole, so a failure at any step leaves the old file as it was.
int WinHostsChecker::Repair() {
    const std::string path = GetHostsFilePath();
    // a Check that found the file wrong always built some text: never empty the file for nothing
    if (path.empty() || repairedContent.empty()) {
        return kHostsRepairFailed;
    }
    // a read-only file is not writable for us, even where the system would let a rename replace it
    const DWORD attributes = GetFileAttributesA(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return kHostsRepairFailed;
    }

    const std::string directory = path.substr(0, path.find_last_of('\\'));
    char temporaryName[MAX_PATH] = {};
    if (GetTempFileNameA(directory.c_str(), kTemporaryPrefix, 0, temporaryName) == 0) {
        return kHostsRepairFailed;
    }
    TemporaryFile temporary(temporaryName);
    UniqueFileHandle file(CreateFileA(temporary.Path(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return kHostsRepairFailed;
    }
    const bool written = WriteWithCrLf(
        repairedContent,
        [&file](const char* data, std::size_t size) { return WriteAll(file.Get(), data, size); });
    if (!written || !FlushFileBuffers(file.Get()) || !file.Close()) {
        return kHostsRepairFailed;
    }
    if (exists && (attributes & kCarriedAttributes) != 0 &&
        !SetFileAttributesA(temporary.Path(), attributes & kCarriedAttributes)) {
        return kHostsRepairFailed;
    }
    if (!MoveFileExA(temporary.Path(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return kHostsRepairFailed;
    }
    temporary.Keep();
    return kHostsRepaired;
}

std::unique_ptr<HostsChecker> CreateHostsChecker() { return std::make_unique<WinHostsChecker>(); }
