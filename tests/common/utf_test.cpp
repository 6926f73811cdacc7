#include "utf16.h"

#include <gtest/gtest.h>

#include <string>

#include "utf16_text.h"

namespace {

struct Utf8Case {
    const char* label;
    std::u16string text;
    std::string bytes;
};

std::ostream& operator<<(std::ostream& out, const Utf8Case& c) { return out << c.label; }

const Utf8Case kUtf8Cases[] = {
    {"empty", u"", ""},
    {"ascii", u"C:\\work\\a.txt", "C:\\work\\a.txt"},
    {"two-byte range", u"\u00e9\u07ff", "\xc3\xa9\xdf\xbf"},
    {"three-byte range", u"\u0800\u4e2d\uffff", "\xe0\xa0\x80\xe4\xb8\xad\xef\xbf\xbf"},
    {"surrogate pair", u"\U0001F600", "\xf0\x9f\x98\x80"},
    {"highest code point", u"\U0010FFFF", "\xf4\x8f\xbf\xbf"},
    {"lone high surrogate at the end", std::u16string(u"a") + char16_t(0xD83D), "a\xef\xbf\xbd"},
    {"lone low surrogate", std::u16string(1, char16_t(0xDE00)) + u"b",
     "\xef\xbf\xbd"
     "b"},
    {"high surrogate before ascii", std::u16string(1, char16_t(0xD83D)) + u"a",
     "\xef\xbf\xbd"
     "a"},
    {"two highs then a low", std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},
     "\xef\xbf\xbd\xf0\x9f\x98\x80"},
    {"reversed pair", std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
     "\xef\xbf\xbd\xef\xbf\xbd"},
    {"zero unit kept", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
};

class Utf8Conversion : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Conversion, ToUtf8_GivesExactBytes_ForText) {
    EXPECT_EQ(toUtf8(utf16(GetParam().text)), GetParam().bytes);
}

TEST_P(Utf8Conversion, AppendUtf8_KeepsWhatWasThere_BeforeTheText) {
    std::string out = "prefix";
    appendUtf8(out, utf16(GetParam().text));
    EXPECT_EQ(out, "prefix" + GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8Conversion, ::testing::ValuesIn(kUtf8Cases));

}  // namespace
