#include "certificate_block.h"

namespace {

const std::string kBegin = "-----BEGIN CERTIFICATE-----";
const std::string kEnd = "-----END CERTIFICATE-----";

}  // namespace

std::optional<std::string> FirstCertificateBlock(const std::string& fileBytes) {
    std::string::size_type begin = fileBytes.find(kBegin);
    // a boundary starts a line; the same bytes inside binary data are not one
    while (begin != std::string::npos && begin != 0 && fileBytes[begin - 1] != '\n' &&
           fileBytes[begin - 1] != '\r') {
        begin = fileBytes.find(kBegin, begin + 1);
    }
    if (begin == std::string::npos) {
        return std::nullopt;
    }
    const std::string::size_type end = fileBytes.find(kEnd, begin + kBegin.size());
    if (end == std::string::npos) {
        return std::nullopt;
    }
    return fileBytes.substr(begin, end + kEnd.size() - begin);
}
