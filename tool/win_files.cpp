#include "win_files.h"

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

bool Rewind(HANDLE file) {
    const LARGE_INTEGER start = {};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

TemporaryFile::TemporaryFile(const std::wstring& folder, const wchar_t* prefix) {
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), prefix, 0, name) != 0) {
        path = name;
    }
}

TemporaryFile::TemporaryFile(const std::wstring& folder, const wchar_t* prefix,
                             const std::function<bool(const std::wstring& name)>& make) {
    // a unique number of GetTempFileName only forms the name: the file is left to make
    const UINT first = (GetTickCount() & 0xFFFFu) | 1u;
    for (UINT unique = first, tried = 0; tried < 0xFFFFu; ++tried, unique = unique % 0xFFFFu + 1) {
        wchar_t name[MAX_PATH] = {};
        if (GetTempFileNameW(folder.c_str(), prefix, unique, name) == 0) {
            return;
        }
        if (make(name)) {
            path = name;
            return;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return;
        }
    }
}

TemporaryFile::~TemporaryFile() {
    if (!path.empty() && !kept) {
        DeleteFileW(path.c_str());
    }
}
