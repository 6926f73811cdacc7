#pragma once
// The tool's own kinds of handle, on the project's owner template; nothing is closed by hand.

#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include "win_handle_owners.h"
#include "win_system_library.h"

namespace handles {

// crypt32 is loaded at run time: a store or context exists only once it is, and is released
// through it.
inline void CloseCertStore(HCERTSTORE store) {
    if (const auto close = SYSTEM_FUNCTION(kCrypt32, CertCloseStore)) close(store, 0);
}
inline void CloseCryptMsg(HCRYPTMSG message) {
    if (const auto close = SYSTEM_FUNCTION(kCrypt32, CryptMsgClose)) close(message);
}
inline void FreeCertContext(PCCERT_CONTEXT context) {
    if (const auto release = SYSTEM_FUNCTION(kCrypt32, CertFreeCertificateContext))
        release(context);
}
inline void FreeCrlContext(PCCRL_CONTEXT context) {
    if (const auto release = SYSTEM_FUNCTION(kCrypt32, CertFreeCRLContext)) release(context);
}
inline void FreeCtlContext(PCCTL_CONTEXT context) {
    if (const auto release = SYSTEM_FUNCTION(kCrypt32, CertFreeCTLContext)) release(context);
}

}  // namespace handles

using UniqueHkey = handles::UniqueAny<HKEY, RegCloseKey>;
using UniqueCertStore = handles::UniqueAny<HCERTSTORE, handles::CloseCertStore>;
using UniqueCryptMsg = handles::UniqueAny<HCRYPTMSG, handles::CloseCryptMsg>;
using UniqueCertContext = handles::UniqueAny<PCCERT_CONTEXT, handles::FreeCertContext>;
using UniqueCrlContext = handles::UniqueAny<PCCRL_CONTEXT, handles::FreeCrlContext>;
using UniqueCtlContext = handles::UniqueAny<PCCTL_CONTEXT, handles::FreeCtlContext>;
// CommandLineToArgvW's list.
using UniqueArgumentList = handles::UniqueAny<LPWSTR*, handles::FreeLocal<LPWSTR*>>;
// A text WinINet hands over (a per-connection option's value).
using UniqueGlobalText = handles::UniqueAny<LPWSTR, handles::FreeGlobal<LPWSTR>>;
