#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fake_world.h"
#include "language_setting.h"

using ::testing::ElementsAre;

namespace {

class LanguageSettingTest : public ::testing::Test {
protected:
    void SetUp() override { ResetWorld(); }
};

TEST_F(LanguageSettingTest, LanguageFromSetting_IsCsOnlyForSimpchineseInAnyCase) {
    const struct {
        const char* value;
        const char* language;
    } cases[] = {
        {"Simpchinese", "cs"},  {"SIMPCHINESE", "cs"},  {"simpchinese", "cs"},
        {"sImPcHiNeSe", "cs"},  {"Chinese", "en"},      {"", "en"},
        {" Simpchinese", "en"}, {"Simpchinese ", "en"}, {"Simpchines", "en"},
        {"Simpchinesex", "en"}, {"cs", "en"},           {"Simpchinese\xC3\xA9", "en"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LanguageFromSetting(c.value), c.language) << '"' << c.value << '"';
    }
}

TEST_F(LanguageSettingTest, ReadLanguageSetting_ReadsTheFileBesideTheProgram) {
    World().languageValues["C:\\tools\\Lang_config.cfg"] = "SIMPCHINESE";
    EXPECT_EQ(ReadLanguageSetting(std::string("C:\\tools\\")), "cs");
    EXPECT_THAT(World().profileFilesRead, ElementsAre("C:\\tools\\Lang_config.cfg"));
}

TEST_F(LanguageSettingTest, ReadLanguageSetting_IsEn_WhenFileOrKeyIsMissing) {
    EXPECT_EQ(ReadLanguageSetting(std::string("C:\\tools\\")), "en");
}

TEST_F(LanguageSettingTest, ReadLanguageSetting_SkipsTheFile_WhenItsNameDoesNotFit256Bytes) {
    const std::string tail = "Lang_config.cfg";
    // a name of 255 bytes still fits with its terminator; 256 bytes do not
    for (std::size_t nameLength : {255u, 256u, 300u}) {
        ResetWorld();
        const std::string directory =
            "C:\\" + std::string(nameLength - tail.size() - 4, 'd') + "\\";
        World().languageValues[directory + tail] = "Simpchinese";
        const bool fits = nameLength <= 255;
        EXPECT_EQ(ReadLanguageSetting(directory), fits ? "cs" : "en") << nameLength;
        EXPECT_EQ(World().profileFilesRead.size(), fits ? 1u : 0u) << nameLength;
    }
}

TEST_F(LanguageSettingTest, ReadLanguageSetting_CountsCharactersNotBytes_WhenFolderIsNotAscii) {
    // 120 characters of 3 UTF-8 bytes each: 360 bytes, yet a name of 141 characters
    std::string folder;
    for (int i = 0; i < 120; ++i) {
        folder += "\xE4\xBC\xA0";
    }
    const std::string directory = "C:\\" + folder + "\\";
    World().languageValues[directory + "Lang_config.cfg"] = "Simpchinese";
    EXPECT_EQ(ReadLanguageSetting(directory), "cs");
}

TEST_F(LanguageSettingTest, ReadLanguageSetting_IsEnWithoutReading_WhenProgramPathIsUnknown) {
    World().languageValues["Lang_config.cfg"] = "Simpchinese";
    EXPECT_EQ(ReadLanguageSetting(std::nullopt), "en");
    EXPECT_TRUE(World().profileFilesRead.empty());
}

}  // namespace
