#pragma once
// The file layer of the elevated program, for the parts that write where others may look (the
// hosts file, the repair log, the report): names opened one at a time inside an open folder and
// checked on the handle, so that a name is never looked up again through the path; one bounded
// reader; temporaries the system removes when a run ends however it ends, put in place by one
// replace; a retry policy per caller for files that another program holds for a moment.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "byte_stream.h"
#include "folder_trust.h"
#include "platform.h"
#include "win_handle_owners.h"

// The longest path the wide calls take, in UTF-16 units.
constexpr std::size_t kLongestPath = 32768;
// Looking only: these rights are weighed against no one's sharing, so no one who holds a file or
// folder open can keep the tool from opening it.
constexpr ACCESS_MASK kLookAccess = READ_CONTROL | FILE_READ_ATTRIBUTES;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// SYSTEM and Administrators full control, nothing inherited and nothing for anyone else: no
// standard user may even open the file (the machine lock, the log), let alone hold it against us.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// A UTF-8 path of the tool as the wide calls take it, converted strictly: a path that does not
// come through whole is never opened, so no other file is touched in its place. None when empty.
std::optional<std::wstring> WidePath(const std::string& path);

// The Windows system directory without a trailing separator; empty when it cannot be had.
std::wstring SystemDirectory();

// How often a step is tried while another program holds its file (a sharing or lock violation, or
// access denied while a delete is pending), with what pause between.
struct RetryPolicy {
    int attempts;
    DWORD pauseMs;
};
constexpr RetryPolicy kOnce = {1, 0};
// about two seconds: the DNS client, a virus scanner or a reader holds a file for a moment
constexpr RetryPolicy kWhileHeld = {20, 100};

// Whether error says that another program holds the file for now, which a retry may outwait.
bool IsHeld(DWORD error);

// Runs step, which answers its error (ERROR_SUCCESS when it succeeded), as policy says; the last
// answer.
DWORD Retry(const RetryPolicy& policy, const std::function<DWORD()>& step);

// Writes all of data to file; false at the first write that fails or takes nothing, GetLastError
// telling why (ERROR_DISK_FULL for a write that took nothing without an error).
bool WriteAll(HANDLE file, const char* data, std::size_t size);
// The same as a sink; a write that fails leaves its error in *error.
ByteWriter WriterOf(HANDLE file, DWORD* error = nullptr);
// The open file from where it stands; a read that fails ends the bytes and leaves its error.
ByteReader ReaderOf(HANDLE file, DWORD& error);
bool Seek(HANDLE file, std::uint64_t offset);
std::uint64_t SizeOf(HANDLE file);
// The open file from where it stands to its end, no further than one byte past longest; the reason
// of a failed read in error.
FileContents ReadBounded(HANDLE file, std::size_t longest, DWORD& error);

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
// Which file the name at path is, without opening what a link there leads to; none when missing.
std::optional<FileIdentity> IdentityAt(const std::wstring& path);

// Security attributes from SDDL text; the descriptor lives as long as the owner, and is null when
// the text does not convert.
struct Security {
    explicit Security(const wchar_t* sddl);
    UniqueLocalMemory descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};
// A SID in string form ("S-1-5-18"); empty when it cannot be had.
std::string SidText(PSID sid);
// The owner and access list of an open file or folder, as the trust decisions read them.
std::optional<FolderSecurity> ReadSecurity(HANDLE file);

enum class NameKind { File, Folder };
// What an opened name must be, checked on its handle.
enum NameCondition : unsigned {
    // the open goes through a link at the name to what it leads to (else the link itself is opened)
    FollowLink = 1,
    // no link at the last component: no reparse point, and the name itself in its folder (under
    // Wine a Unix link shows only by its final path, which leads elsewhere)
    NoLink = 2,
    // the file's only name: a standard user may give a system file another name in their folder
    SingleName = 4,
    // a file on a disk, not a device or a pipe
    DiskFile = 8,
};
// How a name is opened: disposition FILE_OPEN, FILE_CREATE or FILE_OPEN_IF; security is used for a
// file or folder the open makes.
struct NameOpen {
    NameKind kind = NameKind::Folder;
    ACCESS_MASK access = kLookAccess;
    ULONG share = kShareAll;
    ULONG disposition = FILE_OPEN;
    unsigned conditions = 0;
    PSECURITY_DESCRIPTOR security = nullptr;
};
struct OpenedName {
    UniqueFileHandle file;
    bool created = false;  // the open made the file
    DWORD error = ERROR_SUCCESS;
};
// Opens name (a single component) in folder with NtCreateFile relative to it, and checks the
// conditions; path is the name's full path as given, whose long form names an 8.3 alias's file. A
// name that fails them gives ERROR_ACCESS_DENIED, and what the open made for it is removed again.
OpenedName OpenInFolder(HANDLE folder, const std::wstring& name, const std::wstring& path,
                        const NameOpen& how);
// Whether the open file or folder is name in folder itself rather than what a link of that name
// leads to: its final path is the folder's and that name, or that name's long form.
bool IsNamedIn(HANDLE folder, HANDLE opened, const std::wstring& name, const std::wstring& path);

// Sets or takes off the open file's mark for deletion when its last handle closes.
bool MarkForDeletion(HANDLE file, bool marked);

// Eight upper-case hex digits, different in each call and each process: the unique part of the
// names this program makes.
std::wstring UniqueHexName();
// Whether name is prefix, digits hex digits and suffix, letter case ignored, as this program and
// its earlier versions name what they make.
bool IsHexName(const std::wstring& name, const wchar_t* prefix, std::size_t digits,
               const wchar_t* suffix);
// Whether name is one of this program's temporaries: "BrevantClientCheckTool.<8 hex digits>.tmp".
bool IsTemporaryName(const std::wstring& name);

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

    // The replace: takes the mark off and renames the file to name in its own folder, replacing
    // the file of that name, tried again as policy says; the mark goes back on when that fails.
    // The file stays open until the owner is destroyed, and is then no temporary any more.
    DWORD RenameTo(const std::wstring& name, const RetryPolicy& policy = kOnce);

private:
    static MarkedTemporary Make(const std::wstring& folder,
                                const std::function<UniqueFileHandle(const std::wstring&)>& make);

    UniqueFileHandle file;
    std::wstring path;
};
