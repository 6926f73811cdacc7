#pragma once

#include <string>

// The few operating-system services the driver needs. win_platform.cpp implements them with the
// Windows API; the native unit tests link fakes instead.

// Paths are UTF-8 here; the Windows side hands them to the wide calls.

// The running program's full path, whole at any length; empty when it is unknown (the call fails,
// or the path does not convert to UTF-8, as an unpaired surrogate does not).
std::string ModuleFileName();

// The INI value of key in section of file, at most 31 characters; empty when file, section or key
// is missing.
std::string ReadProfileString(const std::string& file, const char* section, const char* key);

enum class CertificateStatus {
    Unloadable,     // missing, empty, unreadable or of no recognised kind
    NoCertificate,  // recognised, but holds no certificate (a CRL, an empty PKCS #7...)
    Valid,          // the current time lies within the validity period, bounds included
    NotValidNow,    // expired or not yet valid
};

// Loads the first certificate of the file at path and tests it against now. In PEM text that is
// the first certificate block, wherever it stands; any other file is queried as it is.
CertificateStatus QueryCertificateFile(const std::string& path);
