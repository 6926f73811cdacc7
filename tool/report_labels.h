#pragma once

// Indexes of the labels that the report rows use (ClientCheckTool::Label).
enum ReportLabel : int {
    LabelCorrect = 3,
    LabelError = 4,
    LabelName = 26,
    LabelCheckResult = 27,
    LabelRepairResult = 28,
    LabelComment = 29,
    LabelAppSetup = 30,
    LabelDomainName = 31,
    LabelProxy = 32,
    LabelCertificate = 33,
    LabelSuccess = 34,
    LabelDefeated = 35,
    LabelInternalError = 36,
};

// The label in English, whatever the report's language; empty for an index outside the table.
const char* EnglishLabel(int index);
