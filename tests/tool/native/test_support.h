#pragma once

#include <initializer_list>
#include <string>

#include "client_check_tool.h"

// The GBK bytes of UTF-8 text, converted by iconv(3) at test time.
std::string Gbk(const std::string& utf8);

// Lines joined, each ending with a line feed.
std::string Lines(std::initializer_list<std::string> lines);

// A tool whose language is set directly, without Init.
class ToolWithLanguage : public ClientCheckTool {
public:
    explicit ToolWithLanguage(const std::string& language) { lang = language; }
};

// The report lines up to and including the header cells, in the given labels.
std::string ReportHead(const std::string& name, const std::string& check, const std::string& repair,
                       const std::string& comment);
// A row of an item found correct.
std::string CorrectRow(const std::string& item, const std::string& correct);
// The certificate row showing status in colour ("#008000" or "red").
std::string CertificateRowText(const std::string& item, const std::string& colour,
                               const std::string& status);
// The whole English report with every item correct and a valid certificate.
std::string EnglishAllCorrectReport();
