#include "path_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utf16_text.h"

namespace {

std::vector<Utf16String> readAll(const Utf16Unit* buffer) {
    std::vector<Utf16String> paths;
    for (const Utf16Unit* position = firstPath(buffer); position != nullptr;) {
        paths.emplace_back(nextPath(position));
    }
    return paths;
}

TEST(PathList, ReadBack_GivesEveryPathWhole_IncludingLongPathsAndDriveRoots) {
    const std::vector<Utf16String> paths = {utf16(u"C:\\"), utf16(u"D:\\"),
                                            utf16(u"C:\\" + std::u16string(1000, u'x')),
                                            utf16(u"E:\\数据\\a b.txt")};
    std::vector<Utf16Unit> buffer(2000, Utf16Unit{0x7777});
    PathListWriter writer(buffer.data(), buffer.size());
    for (const Utf16String& path : paths) ASSERT_TRUE(writer.append(path));
    EXPECT_EQ(readAll(buffer.data()), paths);
}

TEST(PathList, Append_FitsExactly_WhenPathAndTwoZerosFillTheBuffer) {
    std::vector<Utf16Unit> buffer(5 + 2, Utf16Unit{0x7777});
    PathListWriter writer(buffer.data(), buffer.size());
    EXPECT_TRUE(writer.append(utf16(u"C:\\ab")));
    EXPECT_EQ(readAll(buffer.data()), std::vector<Utf16String>{utf16(u"C:\\ab")});
}

TEST(PathList, Append_StoresNothingAndKeepsTheList_WhenPathDoesNotFit) {
    std::vector<Utf16Unit> buffer(6 + 7 + 1, Utf16Unit{0x7777});
    PathListWriter writer(buffer.data(), buffer.size());
    ASSERT_TRUE(writer.append(utf16(u"C:\\ab")));
    EXPECT_FALSE(writer.append(utf16(u"C:\\abcd")));  // needs one unit more than is left
    EXPECT_EQ(readAll(buffer.data()), std::vector<Utf16String>{utf16(u"C:\\ab")});
    EXPECT_TRUE(writer.append(utf16(u"C:\\abc")));
    EXPECT_EQ(readAll(buffer.data()),
              (std::vector<Utf16String>{utf16(u"C:\\ab"), utf16(u"C:\\abc")}));
}

TEST(PathList, Append_Refuses_EmptyPathOrEmbeddedZero) {
    std::vector<Utf16Unit> buffer(64, Utf16Unit{0x7777});
    PathListWriter writer(buffer.data(), buffer.size());
    EXPECT_FALSE(writer.append(Utf16String()));
    EXPECT_FALSE(writer.append(utf16(std::u16string(u"C:\\a\0b", 6))));
    EXPECT_TRUE(readAll(buffer.data()).empty());
}

TEST(PathList, Clear_LeavesAnEmptyList_AfterPathsWereStored) {
    std::vector<Utf16Unit> buffer(64, Utf16Unit{0x7777});
    PathListWriter writer(buffer.data(), buffer.size());
    ASSERT_TRUE(writer.append(utf16(u"C:\\a")));
    writer.clear();
    EXPECT_EQ(firstPath(buffer.data()), nullptr);
    EXPECT_EQ(writer.used(), 0u);
}

TEST(PathList, Append_StoresNothing_WhenBufferIsTooSmallForAnyPath) {
    Utf16Unit one[1] = {0x7777};
    PathListWriter tiny(one, 1);
    EXPECT_FALSE(tiny.append(utf16(u"a")));
    EXPECT_EQ(firstPath(one), nullptr);
    PathListWriter none(nullptr, 0);
    EXPECT_FALSE(none.append(utf16(u"a")));
    EXPECT_EQ(firstPath(nullptr), nullptr);
}

}  // namespace
