#include "utf.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "utf16_text.h"

namespace {

struct Utf8Case {
    const char* label;
    std::u16string text;
    std::string bytes;                  // replacing
    std::string lossless;               // lossless, when it differs from bytes
    std::optional<std::string> strict;  // strict: none when refused
};

std::ostream& operator<<(std::ostream& out, const Utf8Case& c) { return out << c.label; }

Utf8Case same(const char* label, std::u16string text, std::string bytes) {
    return {label, std::move(text), bytes, bytes, bytes};
}

// A text with lone surrogates: U+FFFD when replacing, the surrogate's own bytes when lossless.
Utf8Case lone(const char* label, std::u16string text, std::string bytes, std::string lossless) {
    return {label, std::move(text), std::move(bytes), std::move(lossless), std::nullopt};
}

const Utf8Case kUtf8Cases[] = {
    same("empty", u"", ""),
    same("ascii", u"C:\\work\\a.txt", "C:\\work\\a.txt"),
    same("two-byte range", u"\u00e9\u07ff", "\xc3\xa9\xdf\xbf"),
    same("three-byte range", u"\u0800\u4e2d\uffff", "\xe0\xa0\x80\xe4\xb8\xad\xef\xbf\xbf"),
    same("surrogate pair", u"\U0001F600", "\xf0\x9f\x98\x80"),
    same("highest code point", u"\U0010FFFF", "\xf4\x8f\xbf\xbf"),
    lone("lone high surrogate at the end", std::u16string(u"a") + char16_t(0xD83D), "a\xef\xbf\xbd",
         "a\xed\xa0\xbd"),
    lone("lone low surrogate", std::u16string(1, char16_t(0xDE00)) + u"b",
         "\xef\xbf\xbd"
         "b",
         "\xed\xb8\x80"
         "b"),
    lone("high surrogate before ascii", std::u16string(1, char16_t(0xD83D)) + u"a",
         "\xef\xbf\xbd"
         "a",
         "\xed\xa0\xbd"
         "a"),
    lone("two highs then a low",
         std::u16string{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},
         "\xef\xbf\xbd\xf0\x9f\x98\x80", "\xed\xa0\xbd\xf0\x9f\x98\x80"),
    lone("reversed pair", std::u16string{char16_t(0xDE00), char16_t(0xD83D)},
         "\xef\xbf\xbd\xef\xbf\xbd", "\xed\xb8\x80\xed\xa0\xbd"),
    same("zero unit kept", std::u16string(u"a\0b", 3), std::string("a\0b", 3)),
};

class Utf8Conversion : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Conversion, Utf8FromUtf16Replacing_GivesExactBytes_ForText) {
    EXPECT_EQ(toUtf8(utf16(GetParam().text)), GetParam().bytes);
}

TEST_P(Utf8Conversion, AppendUtf8FromUtf16Replacing_KeepsWhatWasThere_BeforeTheText) {
    std::string out = "prefix";
    AppendUtf8FromUtf16Replacing(out, utf16(GetParam().text));
    EXPECT_EQ(out, "prefix" + GetParam().bytes);
}

TEST_P(Utf8Conversion, LosslessAndStrict_KeepOrRefuseLoneSurrogates_ForText) {
    EXPECT_EQ(Utf8FromUtf16Lossless(utf16(GetParam().text)), GetParam().lossless);
    EXPECT_EQ(Utf8FromUtf16Strict(utf16(GetParam().text)), GetParam().strict);
}

INSTANTIATE_TEST_SUITE_P(Cases, Utf8Conversion, ::testing::ValuesIn(kUtf8Cases));

TEST(Utf16FromUtf8StrictTest, Utf16FromUtf8Strict_RefusesEverySequenceThatIsNotUtf8) {
    const struct {
        const char* label;
        std::string bytes;
        std::optional<std::u16string> text;
    } cases[] = {
        {"every length", "a\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80", u"a\u00e9\u4e2d\U0001F600"},
        {"range ends", "\xc2\x80\xef\xbf\xbf\xf4\x8f\xbf\xbf", u"\u0080\uffff\U0010FFFF"},
        {"zero byte kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"overlong two bytes", "\xc0\xaf", std::nullopt},
        {"overlong three bytes", "\xe0\x9f\xbf", std::nullopt},
        {"overlong four bytes", "\xf0\x8f\xbf\xbf", std::nullopt},
        {"encoded surrogate (lossless form)", "a\xed\xa0\xbd", std::nullopt},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", std::nullopt},
        {"lead byte F5", "\xf5\x80\x80\x80", std::nullopt},
        {"lone continuation", "a\x80", std::nullopt},
        {"cut short", "\xe4\xb8", std::nullopt},
        {"continuation missing", "\xe4\x41\xad", std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<Utf16String> expected =
            c.text ? std::optional<Utf16String>(utf16(*c.text)) : std::nullopt;
        EXPECT_EQ(Utf16FromUtf8Strict(c.bytes), expected) << c.label;
    }
}

}  // namespace
