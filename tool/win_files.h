#pragma once
// File steps shared by the parts that replace a file whole (the hosts file, the repair log).

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// Writes all of data to file; false at the first write that fails or falls short.
bool WriteAll(HANDLE file, const char* data, std::size_t size);

// Puts the file's pointer back at its start; false when the system refuses.
bool Rewind(HANDLE file);

// A new, empty file in folder, named by GetTempFileName; removed again when destroyed, unless Keep
// was called once it took another file's place.
class TemporaryFile {
public:
    TemporaryFile(const std::wstring& folder, const wchar_t* prefix);
    // The same under a name no entry of folder has (prefix, four hex digits, ".tmp"), made by make:
    // it answers false when it made nothing, with ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS when
    // the name is taken, so that the next is tried. GetLastError tells why when Path is empty.
    TemporaryFile(const std::wstring& folder, const wchar_t* prefix,
                  const std::function<bool(const std::wstring& name)>& make);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Empty when no file could be made.
    const std::wstring& Path() const { return path; }
    void Keep() { kept = true; }

private:
    std::wstring path;
    bool kept = false;
};
