#pragma once
// Every code the tool's parts answer with, by name: the checkers' LoadConfig, Check and Repair, and
// the program's exit status. The values are fixed (the report and the host application read them),
// so several names may share one value.

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

// Repair: called only after CheckWrong; any value but Repaired is a failure.
enum RepairCode : int {
    Repaired = 0,
    SetupRepairFailed = 2,
    ProxyRepairFailed = 2,
    HostsRepairFailed = 3,
};

// tool.exe's exit status.
enum ExitStatus : int {
    ExitOk = 0,
    // a wrong command line, or a report that could not be written
    ExitFailure = -1,
};
