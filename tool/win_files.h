#pragma once
// File steps shared by the parts that write where others may look (the hosts file, the repair log,
// the report): names opened one at a time inside an open folder, so that a name is resolved in the
// folder that was checked and never again through the path; temporaries the system removes when a
// run ends however it ends; renames by handle.

#include <windows.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "win_handle_owners.h"

// Writes all of data to file; false at the first write that fails or takes nothing, GetLastError
// telling why (ERROR_DISK_FULL for a write that took nothing without an error).
bool WriteAll(HANDLE file, const char* data, std::size_t size);

// Puts the file's pointer back at its start; false when the system refuses.
bool Rewind(HANDLE file);

// One name opened inside an open folder (NtCreateFile relative to it).
struct OpenedName {
    UniqueFileHandle file;
    bool created = false;  // the open made the file
    DWORD error = ERROR_SUCCESS;
};

enum class NameKind { File, Folder };

// Opens name (a single component) in folder; with followLink false a link there is opened itself.
// disposition is FILE_OPEN, FILE_CREATE or FILE_OPEN_IF; security is used for a file the open
// makes.
OpenedName OpenInFolder(HANDLE folder, const std::wstring& name, NameKind kind, ACCESS_MASK access,
                        ULONG share, ULONG disposition, bool followLink,
                        PSECURITY_DESCRIPTOR security = nullptr);

// Sets or takes off the open file's mark for deletion when its last handle closes.
bool MarkForDeletion(HANDLE file, bool marked);

// Renames the open file (opened with DELETE) to target, a full path, replacing a file there.
bool RenameOpenFile(HANDLE file, const std::wstring& target);

// The final path of an open file or folder in the system's own namespace, which names every
// volume (a drive without a DOS name too); empty when it cannot be had.
std::wstring FinalPath(HANDLE file);

// Which file an open handle is, for telling two names of one file apart from two files.
struct FileIdentity {
    DWORD volume = 0;
    ULONGLONG index = 0;
    DWORD links = 0;
    DWORD attributes = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && index == other.index;
    }
};
std::optional<FileIdentity> IdentityOf(HANDLE file);
// Which file the name at path is, without opening what a link there leads to; none when it is
// missing.
std::optional<FileIdentity> IdentityAt(const std::wstring& path);

// value as eight upper-case hex digits, the unique part of the names this program makes.
std::wstring HexName(unsigned value);

// The pattern of every temporary this program leaves beside a file it replaces, and whether a name
// follows it: "BrevantClientCheckTool.<8 hex digits>.tmp".
constexpr wchar_t kTemporaryPattern[] = L"BrevantClientCheckTool.*.tmp";
bool IsTemporaryName(const std::wstring& name);

// "<prefix><4 hex digits>.tmp", as GetTempFileName made the temporaries of earlier versions.
bool IsEarlierTemporaryName(const std::wstring& name, const wchar_t* prefix);

// Removes the files "*.tmp" in folder that leftover names (without following a link there).
void RemoveLeftovers(
    const std::wstring& folder,
    const std::function<bool(const std::wstring& name, const FileIdentity& file)>& leftover);

// A file of this run in a folder, marked for deletion from the moment it exists, so that the system
// removes it when the run ends however it ends; only RenameTo puts it in place for good.
class MarkedTemporary {
public:
    MarkedTemporary() = default;
    // A new, empty file in folder (no trailing separator), opened for writing; empty with the
    // reason in GetLastError when none could be made.
    static MarkedTemporary Create(const std::wstring& folder,
                                  const SECURITY_ATTRIBUTES* security = nullptr);
    // A second name, in folder, of the file at path.
    static MarkedTemporary Link(const std::wstring& folder, const std::wstring& path);

    explicit operator bool() const { return static_cast<bool>(file); }
    HANDLE get() const { return file.get(); }
    const std::wstring& Path() const { return path; }

    // Takes the mark off and renames the file to name, in its own folder, replacing a file of that
    // name; the mark goes back on when the rename fails, its reason in GetLastError. The file stays
    // open until the owner is destroyed, and is then no temporary any more.
    bool RenameTo(const std::wstring& name);

private:
    UniqueFileHandle file;
    std::wstring path;
};
