#pragma once

#include <string>

// The few operating-system services the driver needs. win_platform.cpp implements them with the
// Windows API; the native unit tests link fakes instead.

// The running program's full path as GetModuleFileNameA gives it: at most 259 bytes.
std::string ModuleFileName();

// The INI value of key in section of file, at most 31 bytes; empty when file, section or key is
// missing.
std::string ReadProfileString(const std::string& file, const char* section, const char* key);

enum class CertificateStatus {
    kUnloadable,     // missing, empty, unreadable or of no recognised kind
    kNoCertificate,  // recognised, but holds no certificate (a CRL, an empty PKCS #7...)
    kValid,          // the current time lies within the validity period, bounds included
    kNotValidNow,    // expired or not yet valid
};

// Loads the first certificate of the file at path (ANSI code page) and tests it against now.
CertificateStatus QueryCertificateFile(const std::string& path);
