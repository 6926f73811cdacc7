#pragma once

#include <windows.h>

#include <string>

#include "win_handle_owners.h"

// A build path ("/work/x" under Wine's drive Z:) as a Windows path; Windows paths stay as they are.
std::string WindowsPath(const std::string& path);
// Text in the ANSI code page (an ASCII path, say) as UTF-16.
std::wstring Wide(const std::string& text);

std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
// The same through the wide calls, for folders named outside the ANSI code page.
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
bool FileExists(const std::string& path);
// Whether this process runs under Wine rather than Windows (where a few platform answers differ).
bool RunsUnderWine();
// Removes a file or a folder with everything in it, names outside the ANSI code page included.
void DeleteTree(const std::string& path);

// A fresh, empty folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    // The folder with its trailing backslash.
    const std::string& Path() const { return path; }

private:
    std::string path;
};

struct ProcessResult {
    bool started = false;
    std::string output;  // standard output and standard error, as bytes
    DWORD exitCode = 0;
};

// Runs program with the command line "\"program\" " + arguments in folder, waiting for its end.
ProcessResult RunProgram(const std::string& program, const std::string& arguments,
                         const std::string& folder);
// The same with wide texts, for folders named outside the ANSI code page.
ProcessResult RunProgram(const std::wstring& program, const std::wstring& arguments,
                         const std::wstring& folder);
