#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "tool_main.h"
#include "win_system_library.h"

namespace {

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
