#include "report_labels.h"

namespace {

constexpr int LabelCount = 37;

// GBK (code page 936) bytes, as the Chinese report carries them unconverted.
const char* const kChineseLabels[LabelCount] = {
    "\xB4\xED\xCE\xF3\xBC\xEC\xB2\xE2\xB1\xA8\xB8\xE6",
    "\xC9\xFA\xB3\xC9\xCA\xB1\xBC\xE4\xA3\xBA",
    "\xB3\xCC\xD0\xF2\xB0\xE6\xB1\xBE\xA3\xBA",
    "\xD5\xFD\xB3\xA3",
    "\xD2\xEC\xB3\xA3",
    "\xC6\xF4\xD3\xC3\xD1\xB9\xCB\xF5",
    "\xD7\xEE\xB4\xF3\xC9\xCF\xB4\xAB\xCA\xFD\xC1\xBF",
    "\xD7\xEE\xB4\xF3\xCF\xC2\xD4\xD8\xCA\xFD\xC1\xBF",
    "\xD7\xEE\xB4\xF3\xC9\xCF\xB4\xAB\xCB\xD9\xB6\xC8",
    "\xD7\xEE\xB4\xF3\xCF\xC2\xD4\xD8\xCB\xD9\xB6\xC8",
    "\xB5\xB1\xC7\xB0\xCD\xE2\xCD\xF8IP",
    "\xB7\xFE\xCE\xF1\xC6\xF7\xD3\xF2\xC3\xFB",
    "\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xD8\xD6\xB7",
    "\xB7\xFE\xCE\xF1\xC6\xF7\xB6\xCB\xBF\xDA",
    "Corvane\xB5\xD8\xD6\xB7",
    "Corvane\xB6\xCB\xBF\xDA",
    "Corvane\xB6\xCB\xBF\xDA(SSL)",
    "\xD3\xC3\xBB\xA7\xC3\xFB",
    "\xB3\xCC\xD0\xF2\xD7\xEE\xBD\xFC\xB4\xA5\xB7\xA2\xB5\xC4\xD2\xEC\xB3\xA3",
    "\xCA\xC7",
    "\xB7\xF1",
    "\xCF\xB5\xCD\xB3\xB0\xE6\xB1\xBE\xA3\xBA",
    "   \xB0\xE6\xB1\xBE\xBA\xC5\xA3\xBA",
    "Websocket\xB6\xCB\xBF\xDA",
    "\xCA\xB1\xBC\xE4",
    "\xD2\xEC\xB3\xA3\xD0\xC5\xCF\xA2",
    "\xC3\xFB\xB3\xC6",
    "\xBC\xEC\xB2\xE2\xBD\xE1\xB9\xFB",
    "\xD0\xDE\xB8\xB4\xBD\xE1\xB9\xFB",
    "\xB1\xB8\xD7\xA2",
    "\xB3\xCC\xD0\xF2\xC6\xF4\xB6\xAF\xCF\xEE",
    "\xB1\xBE\xB5\xD8\xD3\xF2\xC3\xFB\xBD\xE2\xCE\xF6",
    "\xB4\xFA\xC0\xED",
    "\xD6\xA4\xCA\xE9\xD3\xD0\xD0\xA7\xD0\xD4",
    "\xB3\xC9\xB9\xA6",
    "\xCA\xA7\xB0\xDC",
    "\xC4\xDA\xB2\xBF\xB4\xED\xCE\xF3",
};

const char* const kEnglishLabels[LabelCount] = {
    "Error report",
    "Time:",
    "Client version:",
    "Correct",
    "Error",
    "Enable compression",
    "Max upload",
    "Max download",
    "Max upload speed",
    "Max download speed",
    "Wan IP",
    "Server domain name",
    "Corvane address",
    "Corvane port",
    "Corvane address",
    "Corvane port",
    "Corvane port(SSL)",
    "User name",
    "Recent errors",
    "Yes",
    "No",
    "System version:",
    "   Version:",
    "Websocket port",
    "Date",
    "Errors",
    "Name",
    "Check result",
    "Repair result",
    "Comment",
    "App Setup",
    "Domain Name",
    "Proxy",
    "Creatificate",
    "Success",
    "Defeated",
    "Internal error",
};

}  // namespace

std::string LabelText(const std::string& lang, int index) {
    if (index < 0 || index >= LabelCount) {
        return std::string();
    }
    const char* const* table = lang == "cs" ? kChineseLabels : kEnglishLabels;
    return table[index];
}

std::string ResultCell(CellForm form, ResultColour colour, const std::string& text) {
    const char* const colourName = colour == ResultColour::Green ? "#008000" : "red";
    const std::string open = form == CellForm::Item
                                 ? "<td id=textcenter width=\"100\"><font color=\""
                                 : "<td id = textcenter><font color = \"";
    return open + colourName + "\">" + text + "</font></td>\n";
}
