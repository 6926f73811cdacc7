#pragma once
// The report's texts: its labels in either language, and the coloured cell that shows a result.

#include <string>

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

// The label at index in the report's language ("cs" Chinese, as GBK bytes, else English); empty
// for an index out of range.
std::string LabelText(const std::string& lang, int index);

enum class ResultColour { Green, Red };
// The checked items' result cells are 100 wide; the certificate's are written apart, as they
// always were, with blanks around each "=".
enum class CellForm { Item, Certificate };

// One result cell: text in the colour, in the cell's form.
std::string ResultCell(CellForm form, ResultColour colour, const std::string& text);
