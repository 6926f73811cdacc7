#pragma once
// The repair log: what the repairs changed on the machine, old and new, so that a setting can be
// put back by hand. UTF-8 lines in %ProgramData%\<application name>\repairs.log, each the time
// (UTC, ISO 8601) and one event, the oldest lines dropped when the file would pass its limit.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// The log never passes this size, but for a single line longer than it, which is kept alone.
constexpr std::size_t kRepairLogLimit = 256 * 1024;

// The most of one value a line shows, so that no single line can push the history out of the log.
constexpr std::size_t kLoggedValueLimit = 1024;

// A value as the log shows it: text as a JSON string, "absent" when there was none. A text longer
// than kLoggedValueLimit bytes shows its first bytes (whole UTF-8 sequences) and its length, as in
// "abc" (1024 of 300000 bytes). Line breaks of every kind (CR, LF, U+0085, U+2028, U+2029) and
// other control characters are escaped, so that a value never reads as two lines.
std::string LoggedValue(const std::optional<std::string>& text);

// One changed value: "<what>: <old> -> <new>", old and new as they are given.
std::string ChangeEvent(const std::string& what, const std::string& old, const std::string& now);

// A repair that failed: "repair failed: <row>: <step> (error <code>)", the step "unknown" when the
// repair did not say where it failed.
std::string RepairFailedEvent(const std::string& row, const std::string& step, unsigned long error);

// The log once line (with its line end) is added to the lines of existing: the oldest whole lines
// go while the whole would pass limit; line itself always stays. existing is the log's end when
// tail says that bytes came before it, so that its first line may be a part only and is dropped.
std::string ComposeLog(std::string_view existing, bool tail, std::string_view line,
                       std::size_t limit);

// The run's repair log, made where the run starts and handed to whoever changes the machine.
class RepairLog {
public:
    virtual ~RepairLog() = default;
    // Adds the time and event as one line, stored on the disk before it returns, so that it can be
    // written ahead of the change it describes; 0 when it is stored, else the platform's error
    // code, the log then as it was.
    virtual unsigned long Append(const std::string& event) = 0;
};

// The log in %ProgramData%\<folder> (Windows build), opened at its first line and kept open to the
// end of the run; folder is the run's application name when it is valid, else "Brevant".
std::unique_ptr<RepairLog> CreateRepairLog(const std::string& folder);
