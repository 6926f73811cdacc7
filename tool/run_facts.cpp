#include "run_facts.h"

#include <pugixml.hpp>

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
    pugi::xml_document document;
    pugi::xml_parse_result loaded;  // a failure until a load succeeds
    if (const std::optional<std::string> bytes = ReadFileContents(path, kLongestNameFile)) {
        // the encoding is detected as load_file detects it
        loaded = document.load_buffer(bytes->data(), bytes->size());
    }
    return ApplicationNameFromDocument(document, loaded);
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
