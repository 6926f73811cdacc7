#pragma once
// The tool's own kinds of handle, on the project's owner template; nothing is closed by hand.

#include <windows.h>
// after windows.h, which it needs
#include <wincrypt.h>

#include <cstdio>

#include "win_handle_owners.h"

namespace handles {

inline void CloseCertStore(HCERTSTORE store) { CertCloseStore(store, 0); }
inline void CloseCFile(std::FILE* file) { std::fclose(file); }

}  // namespace handles

using UniqueHkey = handles::UniqueAny<HKEY, RegCloseKey>;
using UniqueCertStore = handles::UniqueAny<HCERTSTORE, handles::CloseCertStore>;
using UniqueCryptMsg = handles::UniqueAny<HCRYPTMSG, CryptMsgClose>;
using UniqueCertContext = handles::UniqueAny<PCCERT_CONTEXT, CertFreeCertificateContext>;
using UniqueCrlContext = handles::UniqueAny<PCCRL_CONTEXT, CertFreeCRLContext>;
using UniqueCtlContext = handles::UniqueAny<PCCTL_CONTEXT, CertFreeCTLContext>;
// A C runtime stream.
using UniqueCFile = handles::UniqueAny<std::FILE*, handles::CloseCFile>;
// CommandLineToArgvW's list.
using UniqueArgumentList = handles::UniqueAny<LPWSTR*, handles::FreeLocal<LPWSTR*>>;
// A text WinINet hands over (a per-connection option's value).
using UniqueGlobalText = handles::UniqueAny<LPWSTR, handles::FreeGlobal<LPWSTR>>;
