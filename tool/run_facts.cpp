#include "run_facts.h"

#include "application_name.h"
#include "language_setting.h"
#include "platform.h"

std::optional<std::string> ProgramDirectoryOf(const std::string& programPath) {
    const std::string::size_type cut = programPath.find_last_of("\\/");
    if (cut == std::string::npos) {
        return std::nullopt;
    }
    return programPath.substr(0, cut + 1);
}

std::string ReadApplicationName(const std::string& path) {
    const FileContents file = ReadFileContents(path, kLongestNameFile);
    switch (file.status) {
        case FileRead::Read:
            return ApplicationNameFromFile(file.bytes);
        case FileRead::Unreadable:
            // there, but held or locked: another name than the default may be meant, so none is
            // taken and the setup is refused
            return std::string();
        case FileRead::Absent:
        case FileRead::TooLarge:
            break;
    }
    return kDefaultApplicationName;
}

RunFacts ResolveRunFacts() {
    RunFacts facts;
    const std::string program = ModuleFileName();
    // the long form, so that a start through an 8.3 alias (BREV~SQR) names the same folder
    if (!program.empty()) {
        facts.programDirectory = ProgramDirectoryOf(LongPathName(program));
    }
    // without the folder the name file is unknown too: what needs the name fails
    if (facts.programDirectory) {
        facts.applicationName = ReadApplicationName(*facts.programDirectory + "name.xml");
    }
    facts.language = ReadLanguageSetting(facts.programDirectory);
    return facts;
}
