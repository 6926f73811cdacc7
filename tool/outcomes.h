#pragma once
// Every code the tool's parts answer with, by name: the checkers' LoadConfig, Check and Repair, and
// the program's exit status. The values are fixed (the report and the host application read them),
// so several names may share one value.

#include <optional>
#include <string>
#include <string_view>

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
    // not tried: the run did not get the machine lock, so another run may be repairing the same
    // file, backup and log
    RepairSkippedWithoutLock = 4,
};

// Why a repair failed: the step that failed, a short name such as "replace" or "set proxy options",
// and the platform's error code there (GetLastError, LSTATUS), 0 when the step failed without one.
struct RepairFailure {
    std::string step;
    unsigned long error = 0;
};

// The checkers' record of their last repair's failure: cleared when a repair starts, set where it
// fails.
class RepairFailureRecord {
public:
    // none after a repair that succeeded, or one that failed without saying where
    const std::optional<RepairFailure>& LastRepairFailure() const { return failure; }

protected:
    void ClearRepairFailure() { failure.reset(); }
    // Records the step and its error and answers code, for `return Fail(...)`.
    int Fail(int code, std::string_view step, unsigned long error) {
        failure = RepairFailure{std::string(step), error};
        return code;
    }

private:
    std::optional<RepairFailure> failure;
};

// tool.exe's exit status.
enum ExitStatus : int {
    ExitOk = 0,
    // a wrong command line, or a report that could not be written
    ExitFailure = -1,
};
