#include "tool_main.h"

#include <cstring>
#include <memory>
#include <string>

#include "application_name.h"
#include "client_check_tool.h"
#include "default_config.h"
#include "platform.h"
#include "repair_log.h"
#include "run_facts.h"

namespace {

// "加载配置文件失败" in UTF-8, then two line feeds.
const char kConfigFailureMessage[] =
    "\xE5\x8A\xA0\xE8\xBD\xBD\xE9\x85\x8D\xE7\xBD\xAE\xE6\x96\x87\xE4\xBB\xB6\xE5\xA4\xB1\xE8\xB4"
    "\xA5\n\n";

}  // namespace

int ToolMain(int argc, const char* const argv[], std::ostream& out) {
    if (argc != 5) {
        out << "Wrong args\n";
        return ExitFailure;
    }
    if (std::strcmp(argv[1], "--path") != 0) {
        out << "Mising --path\n";
        return ExitFailure;
    }
    const std::string reportPath = argv[2];
    if (std::strcmp(argv[3], "--lang") != 0) {
        out << "Mising --lang\n";
        return ExitFailure;
    }
    const std::string language = argv[4];

    // a second run waits here (bounded) until the first has checked, repaired and reported
    const std::unique_ptr<MachineLock> turn = LockMachine();
    RunFacts facts = ResolveRunFacts();
    facts.mayRepair = turn != nullptr;
    // the one log of the run, in the folder of the run's name when that name is valid
    const std::unique_ptr<RepairLog> log =
        CreateRepairLog(IsValidApplicationName(facts.applicationName) ? facts.applicationName
                                                                      : kDefaultApplicationName);
    ClientCheckTool tool(facts, *log);
    if (!tool.Init(language, kDefaultConfig)) {
        out << kConfigFailureMessage;
        return ExitOk;
    }
    // every check and repair runs before the report file is opened
    const std::string report = tool.BuildReport();
    if (!WriteTextFile(reportPath, report)) {
        out << "Can't write " << reportPath << "\n";
        return ExitFailure;
    }
    return ExitOk;
}
