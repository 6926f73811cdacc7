#include <gtest/gtest.h>

#include "fake_world.h"
#include "test_support.h"

namespace {

struct LabelCase {
    int index;
    const char* chineseUtf8;
    std::size_t gbkLength;
    const char* english;
};

const LabelCase kLabels[] = {
    {0, "错误检测报告", 12, "Error report"},
    {1, "生成时间：", 10, "Time:"},
    {2, "程序版本：", 10, "Client version:"},
    {3, "正常", 4, "Correct"},
    {4, "异常", 4, "Error"},
    {5, "启用压缩", 8, "Enable compression"},
    {6, "最大上传数量", 12, "Max upload"},
    {7, "最大下载数量", 12, "Max download"},
    {8, "最大上传速度", 12, "Max upload speed"},
    {9, "最大下载速度", 12, "Max download speed"},
    {10, "当前外网IP", 10, "Wan IP"},
    {11, "服务器域名", 10, "Server domain name"},
    {12, "服务器地址", 10, "Corvane address"},
    {13, "服务器端口", 10, "Corvane port"},
    {14, "Corvane地址", 11, "Corvane address"},
    {15, "Corvane端口", 11, "Corvane port"},
    {16, "Corvane端口(SSL)", 16, "Corvane port(SSL)"},
    {17, "用户名", 6, "User name"},
    {18, "程序最近触发的异常", 18, "Recent errors"},
    {19, "是", 2, "Yes"},
    {20, "否", 2, "No"},
    {21, "系统版本：", 10, "System version:"},
    {22, "   版本号：", 11, "   Version:"},
    {23, "Websocket端口", 13, "Websocket port"},
    {24, "时间", 4, "Date"},
    {25, "异常信息", 8, "Errors"},
    {26, "名称", 4, "Name"},
    {27, "检测结果", 8, "Check result"},
    {28, "修复结果", 8, "Repair result"},
    {29, "备注", 4, "Comment"},
    {30, "程序启动项", 10, "App Setup"},
    {31, "本地域名解析", 12, "Domain Name"},
    {32, "代理", 4, "Proxy"},
    {33, "证书有效性", 10, "Creatificate"},
    {34, "成功", 4, "Success"},
    {35, "失败", 4, "Defeated"},
    {36, "内部错误", 8, "Internal error"},
};

class LabelTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWorld(); }
};

TEST_F(LabelTest, Label_IsGbkOfTheChineseText_WhenLanguageIsCs) {
    ToolWithLanguage tool("cs");
    for (const LabelCase& label : kLabels) {
        const std::string expected = Gbk(label.chineseUtf8);
        EXPECT_EQ(tool.Label(label.index), expected) << "label " << label.index;
        EXPECT_EQ(tool.Label(label.index).size(), label.gbkLength) << "label " << label.index;
    }
}

TEST_F(LabelTest, Label_IsEnglish_WhenLanguageIsAnythingButCs) {
    for (const char* language : {"en", "CS", "", "cs ", "zh", "Cs"}) {
        ToolWithLanguage tool(language);
        for (const LabelCase& label : kLabels) {
            EXPECT_EQ(tool.Label(label.index), label.english)
                << "label " << label.index << " language \"" << language << "\"";
        }
    }
}

TEST_F(LabelTest, Label_IsEmpty_WhenIndexIsOutOfRange) {
    for (const char* language : {"cs", "en"}) {
        ToolWithLanguage tool(language);
        for (int index : {37, 38, 1000, -1, -37, INT32_MAX, INT32_MIN}) {
            EXPECT_EQ(tool.Label(index), "") << "index " << index << " language " << language;
        }
    }
}

}  // namespace
