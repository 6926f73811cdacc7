#include "test_support.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <vector>

std::string Gbk(const std::string& utf8) {
    iconv_t converter = iconv_open("GBK", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        ADD_FAILURE() << "iconv has no GBK";
        return std::string();
    }
    std::vector<char> in(utf8.begin(), utf8.end());
    std::vector<char> out(utf8.size() * 2 + 16);
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t converted = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (converted == static_cast<std::size_t>(-1) || inLeft != 0) {
        ADD_FAILURE() << "not convertible to GBK: " << utf8;
        return std::string();
    }
    return std::string(out.data(), out.size() - outLeft);
}

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
