#include "client_check_tool.h"
#include "platform.h"
#include "report_labels.h"

std::string ClientCheckTool::CertificateRow() {
    // the program's folder is unknown: there is no file to load
    if (!programDirectory) {
        return std::string();
    }
    const CertificateStatus status =
        QueryCertificateFile(*programDirectory + "localhost_brevant_io.pem");
    if (status == CertificateStatus::Unloadable) {
        return std::string();
    }
    // a file that loads without a certificate cannot be valid: it shows as an error
    const bool valid = status == CertificateStatus::Valid;
    const std::string statusCell =
        ResultCell(CellForm::Certificate, valid ? ResultColour::Green : ResultColour::Red,
                   Label(valid ? LabelCorrect : LabelError));
    return "<tr>\n<td>" + Label(LabelCertificate) + "</td>\n" + statusCell +
           "<td id=textcenter></td>\n<td id=textcenter></td>\n</tr>\n";
}
