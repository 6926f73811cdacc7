#pragma once
// What the checkers answer, by name: LoadConfig, Check and Repair. A repair answers a value that
// says where it failed, as pugixml's parse result does, so that nothing is read back afterwards.
// The codes are fixed (the report reads them, and each checker has always answered its own failure
// code), so two names may share one value.

#include <string>

// LoadConfig: whether a checker accepted its section of the configuration document.
enum LoadCode : int {
    ConfigLoaded = 0,
    // the hosts checker was handed the empty node: there is no "hosts" section
    HostsConfigMissing = 2,
    // the setup section is missing, has no "win" element or names a root outside the table
    SetupConfigRefused = 3,
};

// Check: the row's check result. The report shows any value but these as an internal error too.
enum CheckCode : int {
    CheckCorrect = 0,
    // wrong and repairable: Repair is called next
    CheckWrong = 1,
    // the check could not run to its end; nothing is repaired
    CheckInternalError = 2,
};

// Repair: called only after CheckWrong; any code but Repaired is a failure.
enum RepairCode : int {
    Repaired = 0,
    SetupRepairFailed = 2,
    ProxyRepairFailed = 2,
    HostsRepairFailed = 3,
    // not tried: the run did not get the machine lock, so another run may be repairing the same
    // file, backup and log
    RepairSkippedWithoutLock = 4,
};

// What a repair did: its code and, when it failed, the step that failed ("replace", "set proxy
// options") and the platform's error code there (GetLastError, LSTATUS), 0 when it had none.
struct RepairResult {
    RepairCode code = Repaired;
    std::string step;
    unsigned long error = 0;
};

inline bool operator==(const RepairResult& result, RepairCode code) { return result.code == code; }
inline bool operator!=(const RepairResult& result, RepairCode code) { return result.code != code; }
