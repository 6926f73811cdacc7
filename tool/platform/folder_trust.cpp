#include "folder_trust.h"

#include <algorithm>

namespace {

const char* const kTrustedSids[] = {
    "S-1-5-18",      // SYSTEM
    "S-1-5-32-544",  // Administrators
    // TrustedInstaller
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
};

// The rights that only look: FILE_LIST_DIRECTORY, FILE_READ_EA, FILE_TRAVERSE,
// FILE_READ_ATTRIBUTES, READ_CONTROL, SYNCHRONIZE, GENERIC_EXECUTE, GENERIC_READ. Every other bit,
// unknown ones included, may change something.
constexpr std::uint32_t kLookingRights =
    0x0001u | 0x0008u | 0x0020u | 0x0080u | 0x00020000u | 0x00100000u | 0x20000000u | 0x80000000u;

bool IsTrusted(const std::string& sid, const std::string& runningUser) {
    return (!runningUser.empty() && sid == runningUser) || IsAdministrativeSid(sid);
}

}  // namespace

bool IsAdministrativeSid(const std::string& sid) {
    return std::find(std::begin(kTrustedSids), std::end(kTrustedSids), sid) !=
           std::end(kTrustedSids);
}

bool IsTrustedFolder(const FolderSecurity& security, const std::string& runningUser) {
    if (!IsTrusted(security.owner, runningUser) || !security.hasDacl) {
        return false;
    }
    return std::none_of(
        security.entries.begin(), security.entries.end(), [&runningUser](const AccessEntry& e) {
            if (e.inheritOnly || e.kind == AccessEntry::Deny) {
                return false;
            }
            return e.kind == AccessEntry::Unreadable ||
                   ((e.mask & ~kLookingRights) != 0 && !IsTrusted(e.sid, runningUser));
        });
}
