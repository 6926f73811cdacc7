#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "tool_main.h"
#include "utf.h"
#include "win_handle_owners.h"
#include "win_system_library.h"

namespace {

// The program's arguments, its own name first, from the wide command line as UTF-8. An unpaired
// surrogate, which has no UTF-8 form, keeps its own three bytes (as WTF-8 writes it): such an
// argument never equals a keyword and never converts back to a file name, so it is never replaced
// by a look-alike. Empty when the command line cannot be split.
std::vector<std::string> CommandLineArguments() {
    int count = 0;
    const UniqueArgumentList list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::string> arguments;
    for (int i = 0; list && i < count; ++i) {
        arguments.push_back(Utf8FromUtf16Lossless(list.get()[i]));
    }
    return arguments;
}

// Where the system has it (RedirectionGuard, in recent releases of Windows), the process follows
// no junction that a user who is no administrator made; elsewhere the call fails and nothing
// happens. Looked up at run time, so that the program starts where the call is unknown too.
void EnforceRedirectionTrust() {
    using SetPolicy = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set = kernel != nullptr ? reinterpret_cast<SetPolicy>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel, "SetProcessMitigationPolicy")))
                                       : nullptr;
    if (set == nullptr) {
        return;
    }
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
    policy.EnforceRedirectionTrust = 1;
    set(ProcessRedirectionTrustPolicy, &policy, sizeof(policy));
}

}  // namespace

// The C runtime's argv holds the arguments in the ANSI code page, which loses the characters it
// lacks and maps some to others (best fit), so they are taken from the wide command line instead.
int main() {
    // elevated, the program must take no DLL from its own folder or the current one
    RestrictDllSearchToSystem32();
    // nor follow a link a user made to a file it writes
    EnforceRedirectionTrust();
    const std::vector<std::string> arguments = CommandLineArguments();
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    return ToolMain(static_cast<int>(arguments.size()), argv.data(), std::cout);
}
