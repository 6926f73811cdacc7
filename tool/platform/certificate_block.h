#pragma once

#include <optional>
#include <string>

// The first PEM certificate block of a file's bytes: from a "-----BEGIN CERTIFICATE-----" line
// through the next "-----END CERTIFICATE-----", whatever stands before it (a private key, say).
// None when the file holds no such block, as DER files, CRLs and PKCS #7 files do not.
std::optional<std::string> FirstCertificateBlock(const std::string& fileBytes);
