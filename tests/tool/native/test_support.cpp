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
