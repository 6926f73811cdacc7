// The certificate row's query: the first certificate of the file beside the program against now,
// through crypt32, which is loaded from System32 at its first use.
#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <optional>
#include <string>

#include "certificate_block.h"
#include "platform.h"
#include "win_files.h"
#include "win_handle_owners.h"
#include "win_system_library.h"

namespace {

// A certificate file is a few kilobytes; a larger file than this is queried as it is, unread.
constexpr std::size_t kLongestPemText = 16 * 1024 * 1024;

// CryptQueryObject crashes Wine's crypt32 on a 0-byte file, so only regular non-empty files go on.
bool IsNonEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

}  // namespace

CertificateStatus QueryCertificateFile(const std::string& path) {
    const std::optional<std::wstring> widePath = WidePath(path);
    if (!widePath || !IsNonEmptyFile(*widePath)) {
        return CertificateStatus::Unloadable;
    }
    // PEM text may hold a private key or more certificates around the one to check; the query of
    // the whole file would take the first block of any kind
    const FileContents file = ReadFileContents(path, kLongestPemText);
    // held by another program also when tried again: it cannot be loaded now
    if (file.status == FileRead::Unreadable) {
        return CertificateStatus::Unloadable;
    }
    const std::optional<std::string> block =
        file.status == FileRead::Read ? FirstCertificateBlock(file.bytes) : std::nullopt;
    CRYPT_DATA_BLOB blob = {};
    DWORD objectType = CERT_QUERY_OBJECT_FILE;
    const void* object = widePath->c_str();
    if (block) {
        blob.cbData = static_cast<DWORD>(block->size());
        blob.pbData = reinterpret_cast<BYTE*>(const_cast<char*>(block->data()));
        objectType = CERT_QUERY_OBJECT_BLOB;
        object = &blob;
    }

    const auto queryObject = SYSTEM_FUNCTION(kCrypt32, CryptQueryObject);
    const auto enumCertificates = SYSTEM_FUNCTION(kCrypt32, CertEnumCertificatesInStore);
    const auto verifyTimeValidity = SYSTEM_FUNCTION(kCrypt32, CertVerifyTimeValidity);
    if (!queryObject || !enumCertificates || !verifyTimeValidity) {
        return CertificateStatus::Unloadable;
    }

    // Every kind of content comes with a store: a certificate's holds it, a signed message's or
    // a serialized store's their certificates, a CRL's none.
    DWORD encodingType = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    UniqueCertStore store;
    UniqueCryptMsg message;
    if (!queryObject(objectType, object, CERT_QUERY_CONTENT_FLAG_ALL, CERT_QUERY_FORMAT_FLAG_ALL, 0,
                     &encodingType, &contentType, &formatType, store.put(), message.put(),
                     nullptr)) {
        return CertificateStatus::Unloadable;
    }
    const UniqueCertContext certificate(store ? enumCertificates(store.get(), nullptr) : nullptr);
    if (!certificate) {
        return CertificateStatus::NoCertificate;
    }
    return verifyTimeValidity(nullptr, certificate->pCertInfo) == 0
               ? CertificateStatus::Valid
               : CertificateStatus::NotValidNow;
}
