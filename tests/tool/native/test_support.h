#pragma once

#include <string>

#include "client_check_tool.h"
#include "expected_report.h"
#include "fake_world.h"

// The GBK bytes of UTF-8 text, converted by iconv(3) at test time.
std::string Gbk(const std::string& utf8);

// A tool whose language is set directly, without Init.
class ToolWithLanguage : public ClientCheckTool {
public:
    explicit ToolWithLanguage(const std::string& language)
        : ClientCheckTool(ResolveRunFacts(), Log()) {
        lang = language;
    }
};
