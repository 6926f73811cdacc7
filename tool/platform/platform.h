#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The few operating-system services the driver needs. win_platform.cpp implements them with the
// Windows API; the native unit tests link fakes instead.

// Paths are UTF-8 here; the Windows side hands them to the wide calls.

// The running program's full path, whole at any length; empty when it is unknown (the call fails,
// or the path does not convert to UTF-8, as an unpaired surrogate does not).
std::string ModuleFileName();

// The INI value of key in section of file, at most 31 characters; empty when file, section or key
// is missing, and when the file is longer than longestFile bytes (it is then not read at all).
std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              std::uint64_t longestFile);

// Writes text to the file at path in text mode (every line feed stored as CR LF), creating it or
// emptying it first. False when it cannot be opened, or a write or the close fails; a path that
// does not convert to UTF-16 is never opened, so no other file is written in its place.
bool WriteTextFile(const std::string& path, const std::string& text);

// What reading a file gave.
enum class FileRead {
    Read,        // bytes holds the whole file
    Absent,      // no such file, or no such folder on the way
    TooLarge,    // longer than the limit, and not read whole
    Unreadable,  // it is there, but could not be opened or read, also when tried again
};

struct FileContents {
    FileRead status = FileRead::Absent;
    std::string bytes;
};

// The bytes of the file at path, read no further than longest bytes. A file another program holds
// open without read sharing, or has locked, is tried again for about two seconds (as a replace of
// the hosts file is) before it counts as unreadable.
FileContents ReadFileContents(const std::string& path, std::size_t longest);

// The long form of a path, every 8.3 alias in it (BREV~SQR) replaced by the long name; the path as
// it is when that cannot be had.
std::string LongPathName(const std::string& path);

// Held while a run checks and repairs, so that runs on one machine take turns.
class MachineLock {
public:
    virtual ~MachineLock() = default;
};

// Waits about a minute for the machine-wide lock of tool.exe; an earlier run that ended without
// letting it go counts as gone. After the wait, or when the lock cannot be had at all, the result
// holds nothing: the run then checks and reports but repairs nothing and writes no log, since
// another run may be repairing the same file, backup and log. The run that gets the lock first
// removes what runs of this program that were cut short left beside the hosts file. The lock is
// let go when the result is destroyed.
std::unique_ptr<MachineLock> LockMachine();

enum class CertificateStatus {
    Unloadable,     // missing, empty, unreadable or of no recognised kind
    NoCertificate,  // recognised, but holds no certificate (a CRL, an empty PKCS #7...)
    Valid,          // the current time lies within the validity period, bounds included
    NotValidNow,    // expired or not yet valid
};

// Loads the first certificate of the file at path and tests it against now. In PEM text that is
// the first certificate block, wherever it stands; any other file is queried as it is.
CertificateStatus QueryCertificateFile(const std::string& path);
