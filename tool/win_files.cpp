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

TemporaryFile::TemporaryFile(const std::wstring& folder, const wchar_t* prefix) {
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(folder.c_str(), prefix, 0, name) != 0) {
        path = name;
    }
}

TemporaryFile::~TemporaryFile() {
    if (!path.empty() && !kept) {
        DeleteFileW(path.c_str());
    }
}
