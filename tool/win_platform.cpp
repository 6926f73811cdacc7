#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <memory>
#include <string>

#include "platform.h"

namespace {

struct CertStoreCloser {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
struct CryptMsgCloser {
    void operator()(HCRYPTMSG message) const { CryptMsgClose(message); }
};
struct CertContextFreer {
    void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
struct CrlContextFreer {
    void operator()(PCCRL_CONTEXT context) const { CertFreeCRLContext(context); }
};
struct CtlContextFreer {
    void operator()(PCCTL_CONTEXT context) const { CertFreeCTLContext(context); }
};

using UniqueCertStore = std::unique_ptr<void, CertStoreCloser>;
using UniqueCryptMsg = std::unique_ptr<void, CryptMsgCloser>;
using UniqueCertContext = std::unique_ptr<const CERT_CONTEXT, CertContextFreer>;
using UniqueCrlContext = std::unique_ptr<const CRL_CONTEXT, CrlContextFreer>;
using UniqueCtlContext = std::unique_ptr<const CTL_CONTEXT, CtlContextFreer>;

std::wstring ToWide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text.c_str(), -1, &wide[0], length) != length) {
        return std::wstring();
    }
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

// CryptQueryObject crashes Wine's crypt32 on a 0-byte file, so only regular non-empty files go on.
bool IsNonEmptyFile(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return false;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return false;
    }
    return data.nFileSizeHigh != 0 || data.nFileSizeLow != 0;
}

bool IsCertificateContent(DWORD contentType) {
    return contentType == CERT_QUERY_CONTENT_CERT ||
           contentType == CERT_QUERY_CONTENT_SERIALIZED_CERT;
}

}  // namespace

std::string ModuleFileName() {
    char path[MAX_PATH] = {};
    // one byte less than the buffer, so the path stays terminated even when it is cut short
    GetModuleFileNameA(nullptr, path, MAX_PATH - 1);
    return path;
}

std::string ReadProfileString(const std::string& file, const char* section, const char* key) {
    char value[32] = {};
    GetPrivateProfileStringA(section, key, "", value, sizeof value, file.c_str());
    return value;
}

CertificateStatus QueryCertificateFile(const std::string& path) {
    const std::wstring widePath = ToWide(path);
    if (widePath.empty() || !IsNonEmptyFile(widePath)) {
        return CertificateStatus::kUnloadable;
    }

    DWORD encodingType = 0;
    DWORD contentType = 0;
    DWORD formatType = 0;
    HCERTSTORE rawStore = nullptr;
    HCRYPTMSG rawMessage = nullptr;
    const void* rawContext = nullptr;
    const BOOL loaded =
        CryptQueryObject(CERT_QUERY_OBJECT_FILE, widePath.c_str(), CERT_QUERY_CONTENT_FLAG_ALL,
                         CERT_QUERY_FORMAT_FLAG_ALL, 0, &encodingType, &contentType, &formatType,
                         &rawStore, &rawMessage, &rawContext);
    const UniqueCertStore store(rawStore);
    const UniqueCryptMsg message(rawMessage);
    // the context's kind follows the content's kind
    UniqueCertContext certificate;
    UniqueCrlContext crl;
    UniqueCtlContext ctl;
    if (rawContext != nullptr) {
        switch (contentType) {
            case CERT_QUERY_CONTENT_CERT:
            case CERT_QUERY_CONTENT_SERIALIZED_CERT:
                certificate.reset(static_cast<PCCERT_CONTEXT>(rawContext));
                break;
            case CERT_QUERY_CONTENT_CRL:
            case CERT_QUERY_CONTENT_SERIALIZED_CRL:
                crl.reset(static_cast<PCCRL_CONTEXT>(rawContext));
                break;
            case CERT_QUERY_CONTENT_CTL:
            case CERT_QUERY_CONTENT_SERIALIZED_CTL:
                ctl.reset(static_cast<PCCTL_CONTEXT>(rawContext));
                break;
            default:
                break;
        }
    }
    if (!loaded) {
        return CertificateStatus::kUnloadable;
    }

    if (!certificate && !IsCertificateContent(contentType) && store) {
        // a signed message or a store: its first certificate stands for the file
        certificate.reset(CertEnumCertificatesInStore(store.get(), nullptr));
    }
    if (!certificate) {
        return CertificateStatus::kNoCertificate;
    }
    return CertVerifyTimeValidity(nullptr, certificate->pCertInfo) == 0
               ? CertificateStatus::kValid
               : CertificateStatus::kNotValidNow;
}
