#include "expected_report.h"

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

std::string ReportHead(const std::string& name, const std::string& check, const std::string& repair,
                       const std::string& comment) {
    return Lines({
        "<table border=\"1\" align=\"center\" cellspacing=\"0\" cellpadding=\"8\">",
        "<tr>",
        "<th id=textcenter>" + name + "</th>",
        "<th id=textcenter>" + check + "</th>",
        "<th id=textcenter>" + repair + "</th>",
        "<th id=textcenter>" + comment + "</th>",
    });
}

std::string CorrectRow(const std::string& item, const std::string& correct) {
    return Lines({
        "<tr>",
        "<td width=\"180\">" + item + "</td>",
        "<td id=textcenter width=\"100\"><font color=\"#008000\">" + correct + "</font></td>",
        "<td id=textcenter></td>",
        "<td id=textcenter width=\"100\"></td>",
        "</tr>",
    });
}

std::string CertificateRowText(const std::string& item, const std::string& colour,
                               const std::string& status) {
    return Lines({
        "<tr>",
        "<td>" + item + "</td>",
        "<td id = textcenter><font color = \"" + colour + "\">" + status + "</font></td>",
        "<td id=textcenter></td>",
        "<td id=textcenter></td>",
        "</tr>",
    });
}

std::string EnglishAllCorrectReport() {
    return ReportHead("Name", "Check result", "Repair result", "Comment") +
           CorrectRow("Domain Name", "Correct") + CorrectRow("App Setup", "Correct") +
           CorrectRow("Proxy", "Correct") +
           CertificateRowText("Creatificate", "#008000", "Correct") + "</table><br/>\n";
}

std::string RepairedRow(const std::string& item, const std::string& error,
                        const std::string& success) {
    return Lines({
        "<tr>",
        "<td width=\"180\">" + item + "</td>",
        "<td id=textcenter width=\"100\"><font color=\"red\">" + error + "</font></td>",
        "<td id=textcenter width=\"100\"><font color=\"#008000\">" + success + "</font></td>",
        "<td id=textcenter width=\"100\"></td>",
        "</tr>",
    });
}

std::string FailedRepairRow(const std::string& item, const std::string& error,
                            const std::string& defeated) {
    return Lines({
        "<tr>",
        "<td width=\"180\">" + item + "</td>",
        "<td id=textcenter width=\"100\"><font color=\"red\">" + error + "</font></td>",
        "<td id=textcenter width=\"100\"><font color=\"red\">" + defeated + "</font></td>",
        "<td id=textcenter width=\"100\"></td>",
        "</tr>",
    });
}

std::string Crlf(const std::string& text) {
    std::string converted;
    for (char c : text) {
        if (c == '\n') {
            converted += '\r';
        }
        converted += c;
    }
    return converted;
}
