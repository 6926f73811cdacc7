#include <gtest/gtest.h>

#include <string>

#include "repair_log.h"

namespace {

TEST(RepairLogTest, ComposeLog_KeepsTheNewestWholeLinesWithinTheLimit_ForEachLog) {
    const struct {
        const char* name;
        std::string existing;
        bool tail;
        std::string line;
        std::size_t limit;
        std::string log;
    } cases[] = {
        {"room enough", "a\nb\n", false, "c\n", 10, "a\nb\nc\n"},
        {"exactly the limit", "aa\nbb\n", false, "c\n", 8, "aa\nbb\nc\n"},
        {"one byte over: the oldest line goes", "aa\nbb\n", false, "cc\n", 8, "bb\ncc\n"},
        {"several lines go", "a\nb\nc\nd\n", false, "eeeee\n", 8, "d\neeeee\n"},
        {"CR LF lines", "a\r\nb\r\n", false, "c\r\n", 7, "b\r\nc\r\n"},
        {"a line longer than the limit stays alone", "a\nb\n", false, "0123456789\n", 8,
         "0123456789\n"},
        {"the end of a longer log starts mid-line", "rt of a line\nb\n", true, "c\n", 100,
         "b\nc\n"},
        {"a last line without its end is ended", "a\nb", false, "c\n", 100, "a\nb\nc\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ComposeLog(c.existing, c.tail, c.line, c.limit), c.log) << c.name;
    }
}

}  // namespace
