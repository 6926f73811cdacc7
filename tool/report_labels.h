#pragma once

// Indexes of the labels that the report rows use (ClientCheckTool::Label).
enum ReportLabel : int {
    kLabelCorrect = 3,
    kLabelError = 4,
    kLabelName = 26,
    kLabelCheckResult = 27,
    kLabelRepairResult = 28,
    kLabelComment = 29,
    kLabelAppSetup = 30,
    kLabelDomainName = 31,
    kLabelProxy = 32,
    kLabelCertificate = 33,
    kLabelSuccess = 34,
    kLabelDefeated = 35,
    kLabelInternalError = 36,
};
