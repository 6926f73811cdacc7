#pragma once
// Whom the elevated tool trusts with what it writes: the owner of a link it follows on the report's
// path, and a folder it writes into (the repair log's), out of reach of anyone but the system, the
// administrators and the account the tool runs as. Decisions over a plain description of the owner
// and access list, which the file layer reads by handle.

#include <cstdint>
#include <string>
#include <vector>

// One entry of a folder's access list, its SID in string form ("S-1-5-18").
struct AccessEntry {
    enum Kind {
        Allow,       // ACCESS_ALLOWED_ACE_TYPE
        Deny,        // any kind of denying entry, which grants nothing
        Unreadable,  // an allowing entry of another kind (object, callback...): it may grant anyone
    };
    Kind kind = Allow;
    bool inheritOnly = false;  // applies to what the folder holds, not to the folder itself
    std::uint32_t mask = 0;
    std::string sid;
};

struct FolderSecurity {
    std::string owner;
    bool hasDacl = true;  // false: a NULL DACL, which lets everyone do everything
    std::vector<AccessEntry> entries;
};

// SYSTEM, Administrators or TrustedInstaller (sid in string form): a link anyone else made (a
// junction needs no privilege) may lead anywhere, System32 included.
bool IsAdministrativeSid(const std::string& sid);

// The folder may hold the log: its owner is SYSTEM, Administrators, TrustedInstaller or
// runningUser, and no entry that applies to the folder itself grants anyone else a right beyond
// listing, reading and traversing it (adding, changing or removing files, its attributes or its
// security).
bool IsTrustedFolder(const FolderSecurity& security, const std::string& runningUser);
