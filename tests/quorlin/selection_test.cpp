#include "selection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utf16_text.h"

namespace {

struct CollectionCase {
    const char* label;
    DialogKind kind;
    std::vector<std::u16string> paths;
    std::string directory;
    std::vector<std::string> names;
    bool reopen;
    bool severalFolders = false;  // refused while the dialog is open
};

std::ostream& operator<<(std::ostream& out, const CollectionCase& c) { return out << c.label; }

const std::u16string kLongFolder(300, u'd');

const CollectionCase kCollectionCases[] = {
    {"cancel", UploadFiles, {}, "", {}, false},
    {"two files",
     UploadFiles,
     {u"C:\\work\\a.txt", u"C:\\work\\b.txt"},
     "C:\\work",
     {"a.txt", "b.txt"},
     false},
    {"two files to transfer",
     TransferFiles,
     {u"C:\\work\\b.txt", u"C:\\work\\a.txt"},
     "C:\\work",
     {"b.txt", "a.txt"},
     false},
    {"file in a drive root", UploadFiles, {u"C:\\x.txt"}, "C:", {"x.txt"}, false},
    {"folder to upload", UploadFolders, {u"D:\\data\\in"}, "D:\\data", {"in"}, false},
    {"folder to transfer", TransferFolders, {u"D:\\data\\in"}, "D:\\data", {"in"}, false},
    {"several folders",
     UploadFolders,
     {u"D:\\data\\in", u"D:\\data\\out", u"D:\\data\\x y"},
     "D:\\data",
     {"in", "out", "x y"},
     false},
    {"folder in a drive root", TransferFolders, {u"C:\\in"}, "C:", {"in"}, false},
    {"save into a folder", SavePath, {u"D:\\data\\out"}, "D:\\data\\out", {"out"}, false},
    {"save into a top folder", SavePath, {u"D:\\out"}, "D:\\out", {"out"}, false},
    {"save into a drive root", SavePath, {u"D:\\"}, "D:\\", {""}, false},
    {"save with several folders composes the first",
     SavePath,
     {u"D:\\data\\out", u"D:\\data\\in"},
     "D:\\data\\out",
     {"out", "in"},
     false},
    {"save without any name", SavePath, {u"out", u""}, "", {}, false},
    {"forward slashes",
     UploadFiles,
     {u"C:/work/a.txt", u"C:/work\\b.txt"},
     "C:\\work",
     {"a.txt", "b.txt"},
     false},
    {"forward slashes in a save path", SavePath, {u"D:/data/out"}, "D:\\data\\out", {"out"}, false},
    {"chinese names as utf-8",
     UploadFiles,
     {u"C:\\数据\\报告.txt", u"C:\\数据\\😀.png"},
     u8"C:\\数据",
     {u8"报告.txt", u8"😀.png"},
     false},
    {"paths without backslash contribute nothing",
     UploadFiles,
     {u"a.txt", u"C:\\work\\b.txt", u"", u"c.txt"},
     "C:\\work",
     {"b.txt"},
     false},
    {"two drives", UploadFiles, {u"C:\\a\\x", u"D:\\b\\y"}, "", {}, false, true},
    {"a third apart", TransferFiles, {u"C:\\w\\a", u"C:/w/b", u"C:\\x\\c"}, "", {}, false, true},
    {"a folder's start", UploadFiles, {u"C:\\w\\a", u"C:\\w2\\b"}, "", {}, false, true},
    {"two letter cases", UploadFiles, {u"C:\\W\\a", u"C:\\w\\b"}, "", {}, false, true},
    {"folders of two", UploadFolders, {u"D:\\d\\in", u"D:\\e\\out"}, "", {}, false, true},
    {"save, folders of two", SavePath, {u"C:\\1\\in", u"C:\\2\\out"}, "", {}, false, true},
    {"drive root in a folder dialog re-opens", UploadFolders, {u"E:\\"}, "", {}, true},
    {"drive root to transfer re-opens", TransferFolders, {u"E:\\"}, "", {}, true},
    {"several drive roots re-open", UploadFolders, {u"C:\\", u"D:\\"}, "", {}, true},
    {"drive root after a folder re-opens",
     TransferFolders,
     {u"D:\\data\\in", u"E:\\"},
     "",
     {},
     true},
    {"several drive roots to save into", SavePath, {u"C:\\", u"D:\\"}, "", {}, false, true},
};

class SelectionCollection : public ::testing::TestWithParam<CollectionCase> {};

TEST_P(SelectionCollection, Collect_DeliversDirectoryAndNames_ForChosenPaths) {
    const CollectionCase& c = GetParam();
    SelectionCollector collector(c.kind);
    for (const std::u16string& path : c.paths) {
        if (!collector.add(utf16(path))) break;
    }
    EXPECT_EQ(collector.inSeveralFolders(), c.severalFolders);
    const Selection selection = collector.finish();
    EXPECT_EQ(selection.directory, c.directory);
    EXPECT_EQ(selection.names, c.names);
    EXPECT_EQ(selection.reopenFolderDialog, c.reopen);
    EXPECT_EQ(selection.severalFolders, c.severalFolders);
}

INSTANTIATE_TEST_SUITE_P(Cases, SelectionCollection, ::testing::ValuesIn(kCollectionCases));

TEST(SelectionCollector, Collect_KeepsWholePath_WhenLongerThanMaxPath) {
    SelectionCollector collector(UploadFiles);
    const std::u16string folder = u"C:\\" + kLongFolder;
    ASSERT_TRUE(collector.add(utf16(folder + u"\\" + kLongFolder + u".txt")));
    const Selection selection = collector.finish();
    EXPECT_EQ(selection.directory, "C:\\" + std::string(300, 'd'));
    EXPECT_EQ(selection.names, std::vector<std::string>{std::string(300, 'd') + ".txt"});
}

TEST(SelectionCollector, Add_RefusesFurtherPaths_AfterReopenDecided) {
    SelectionCollector collector(UploadFolders);
    EXPECT_FALSE(collector.add(utf16(u"C:\\")));
    EXPECT_FALSE(collector.add(utf16(u"D:\\data\\in")));
    const Selection selection = collector.finish();
    EXPECT_TRUE(selection.reopenFolderDialog);
    EXPECT_EQ(selection.directory, "");
    EXPECT_TRUE(selection.names.empty());
}

}  // namespace
