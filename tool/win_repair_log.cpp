#include <windows.h>
// after windows.h, which they need
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "application_name.h"
#include "platform.h"
#include "repair_log.h"
#include "win_files.h"
#include "win_handles.h"
#include "win_text.h"

namespace {

constexpr wchar_t kLogFileName[] = L"repairs.log";
constexpr wchar_t kTemporaryPrefix[] = L"log";

std::optional<std::wstring> ProgramDataFolder() {
    PWSTR raw = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &raw);
    const UniqueCoTaskText folder(raw);
    if (FAILED(found) || !folder) {
        return std::nullopt;
    }
    return std::wstring(folder.get());
}

// The application name as name.xml beside the program gives it when it is valid, else "Brevant":
// a valid name is a safe folder name.
std::string LogFolderName() {
    const std::string program = ModuleFileName();
    const std::string::size_type cut = program.find_last_of("\\/");
    if (cut != std::string::npos) {
        const std::string name = ReadApplicationName(program.substr(0, cut + 1) + "name.xml");
        if (IsValidApplicationName(name)) {
            return name;
        }
    }
    return kDefaultApplicationName;
}

bool IsPlainFolder(const std::wstring& folder) {
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
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
    TemporaryFile temporary(folder, kTemporaryPrefix);
    if (temporary.Path().empty()) {
        return;
    }
    UniqueFileHandle file(CreateFileW(temporary.Path().c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), log.data(), log.size()) || !CloseHandle(file.release())) {
        return;
    }
    if (MoveFileExW(temporary.Path().c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        temporary.Keep();
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
    const std::optional<std::wstring> name = Utf16FromUtf8(LogFolderName());
    if (!programData || !name) {
        return;
    }
    const std::wstring folder = *programData + L"\\" + *name;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return;
    }
    // a folder that is a link could lead the log elsewhere
    if (!IsPlainFolder(folder)) {
        return;
    }
    const std::wstring path = folder + L"\\" + kLogFileName;
    const LogEnd end = ReadLogEnd(path);
    ReplaceLog(folder, path,
               ComposeLog(end.bytes, end.tail, UtcTime() + " " + event + "\r\n", kRepairLogLimit));
}
