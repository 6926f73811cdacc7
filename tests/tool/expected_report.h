#pragma once

#include <initializer_list>
#include <string>

// Expected report text, built line by line for comparison with whole reports.

// Lines joined, each ending with a line feed.
std::string Lines(std::initializer_list<std::string> lines);

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
// A row of an item found wrong and repaired.
std::string RepairedRow(const std::string& item, const std::string& error,
                        const std::string& success);
// A row of an item found wrong whose repair failed.
std::string FailedRepairRow(const std::string& item, const std::string& error,
                            const std::string& defeated);
// Every line feed as carriage return and line feed, as a text-mode file stores it.
std::string Crlf(const std::string& text);
