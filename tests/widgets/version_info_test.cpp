// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/version_info.h"

#include <gtest/gtest.h>

#include "platform/versionres/test_elf_file.h"
#include "platform/versionres/version_block.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

using flipbook::testing::TempDir;
using flipbook::testing::TestElfFile;
using versionres::FixedFileInfo;
using versionres::StringTable;
using versionres::VersionNode;

class VersionInfoTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder_.Keep();
    }

    // An ELF file whose version section holds the serialised tree.
    std::string WriteProgram(const std::string& name, const VersionNode& tree) {
        TestElfFile elf;
        elf.AddSection(".text", {0xC3});
        elf.AddSection(std::string(versionres::kVersionSectionName), versionres::Serialize(tree));
        const std::string path = folder_.File(name);
        elf.Write(path);
        return path;
    }

    std::string WriteProgram(const std::string& name, const std::vector<StringTable>& tables,
                             bool withTranslation = true) {
        return WriteProgram(name, versionres::MakeVersionInfo(Fixed(), tables, withTranslation));
    }

    static FixedFileInfo Fixed() {
        FixedFileInfo fixed;
        fixed.fileVersionMS = 0x00020001;
        fixed.fileVersionLS = 0x00000007;
        return fixed;
    }

    template <typename Action>
    static void ExpectError(Action action, int code, const char* message) {
        try {
            action();
            ADD_FAILURE() << "no EVersionInfoError " << code;
        } catch (const EVersionInfoError& error) {
            EXPECT_EQ(error.ErrorCode(), code);
            EXPECT_STREQ(error.what(), message);
        }
    }

    TempDir folder_;
};

TEST_F(VersionInfoTest, TVersionInfo_ReadsTheProgramsOwnBlock_WithoutAFileName) {
    TVersionInfo info;
    EXPECT_FALSE(info.FileName().empty());
    EXPECT_EQ(info.ProductName() + " " + info.ProductVersion(), "Flipbook Cam 2004.06");
    EXPECT_EQ(info.FileVersion(), "1.0.1000.0");
    EXPECT_EQ(info.FileVersionMS(), 0x00010000u);
    EXPECT_EQ(info.FileVersionLS(), 0x03E80000u);
    EXPECT_EQ(info.ProductVersionMS(), 0x00010000u);
    EXPECT_EQ(info.ProductVersionLS(), 0x03E80000u);
    EXPECT_DOUBLE_EQ(info.FileVersionNumber(), 1.0);
    EXPECT_DOUBLE_EQ(info.ProductVersionNumber(), 2004.06);
    EXPECT_EQ(info.TranslationValue(), 0x04E40409u);
    EXPECT_EQ(info.TranslationCount(), 1);
    EXPECT_EQ(info.LanguageName(), "English (United States)");
    EXPECT_EQ(info.LegalTrademarks(), "");
}

TEST_F(VersionInfoTest, TVersionInfo_RaisesTheDocumentedErrors) {
    TVersionInfo info;
    const std::string ownFile = info.FileName();
    ExpectError([&] { info.SetFileName(folder_.File("absent.exe")); }, 73, "Error opening file");
    ExpectError([&] { info.SetFileName(folder_.Path().string()); }, 73, "Error opening file");
    EXPECT_EQ(info.FileName(), ownFile);

    TestElfFile withoutBlock;
    withoutBlock.AddSection(".text", {0xC3});
    withoutBlock.Write(folder_.File("plain"));
    info.SetFileName(folder_.File("plain"));
    ExpectError([&] { info.ProductName(); }, 100, "File does not contain version info");

    TestElfFile::WriteBytes(folder_.File("text.txt"), {'h', 'i'});
    info.SetFileName(folder_.File("text.txt"));
    ExpectError([&] { info.ProductName(); }, 101, "Unable to read version info");
}

TEST_F(VersionInfoTest, TVersionInfo_FailsEveryTime_WhenTheTranslationListIsMissing) {
    TVersionInfo info;
    info.SetFileName(
        WriteProgram("untranslated", {StringTable{0x0409, 0x04E4, {{"ProductName", "X"}}}}, false));
    // The list is read before the block counts as read, so each request tries again.
    ExpectError([&] { info.ProductName(); }, 101, "Unable to read version info");
    ExpectError([&] { info.ProductVersion(); }, 101, "Unable to read version info");
}

TEST_F(VersionInfoTest, TVersionInfo_KeepsWhatItRead_WhenTheFixedPartIsMissing) {
    VersionNode tree = versionres::MakeVersionInfo(Fixed(), {StringTable{0x0407, 0x04E4, {}}});
    tree.value.clear();
    TVersionInfo info;
    info.SetFileName(WriteProgram("nofixed", tree));
    ExpectError([&] { info.ProductName(); }, 101, "Unable to read version info");
    // Past the translation list the block counts as read: later requests give the partial values.
    EXPECT_EQ(info.TranslationValue(), 0x04E40407u);
    EXPECT_EQ(info.LanguageName(), "German (Germany)");
    EXPECT_EQ(info.ProductName(), "");
}

TEST_F(VersionInfoTest, TVersionInfo_UsesTheFirstTranslation_AndEmptyOrMissingKeysGiveEmptyText) {
    TVersionInfo info;
    info.SetFileName(WriteProgram(
        "two", {StringTable{0x0407, 0x04E4, {{"ProductName", "Daumenkino"}, {"CompanyName", ""}}},
                StringTable{0x0409, 0x04E4, {{"ProductName", "Flipbook"}, {"Comments", "English only"}}}}));
    EXPECT_EQ(info.ProductName(), "Daumenkino");
    EXPECT_EQ(info.CompanyName(), "");
    EXPECT_EQ(info.Comments(), "");
    EXPECT_EQ(info.ProductVersion(), "");
    EXPECT_EQ(info.ProductVersionNumber(), 0.0);
    EXPECT_EQ(info.TranslationCount(), 2);
    EXPECT_EQ(info.FileVersionMS(), 0x00020001u);
}

TEST_F(VersionInfoTest, TVersionInfo_ReadsTheFileOnce_UntilTheNameChanges) {
    const std::string first = WriteProgram("first", {StringTable{0x0409, 0x04E4, {{"ProductName", "Old"}}}});
    const std::string second =
        WriteProgram("second", {StringTable{0x0409, 0x04E4, {{"ProductName", "Other"}}}});
    TVersionInfo info;
    info.SetFileName(first);
    EXPECT_EQ(info.ProductName(), "Old");

    // Replacing the file shows only when the reader reads again.
    WriteProgram("first", {StringTable{0x0409, 0x04E4, {{"ProductName", "New"}, {"ProductVersion", "9"}}}});
    EXPECT_EQ(info.ProductName(), "Old");
    EXPECT_EQ(info.ProductVersion(), "");
    info.SetFileName(first);
    EXPECT_EQ(info.ProductName(), "Old");

    info.SetFileName(second);
    EXPECT_EQ(info.ProductName(), "Other");
    info.SetFileName(first);
    EXPECT_EQ(info.ProductName(), "New");
    EXPECT_EQ(info.ProductVersion(), "9");
}

TEST_F(VersionInfoTest, TVersionInfo_ReadsAnEmptyTranslationList_WithoutReadingBeyondIt) {
    VersionNode tree =
        versionres::MakeVersionInfo(Fixed(), {StringTable{0, 0, {{"ProductName", "Neutral"}}}});
    tree.children.back().children.front().value.clear();  // VarFileInfo\Translation with no entries
    TVersionInfo info;
    info.SetFileName(WriteProgram("empty-list", tree));
    EXPECT_EQ(info.TranslationCount(), 0);
    EXPECT_EQ(info.TranslationValue(), 0u);
    EXPECT_EQ(info.ProductName(), "Neutral");
}

TEST_F(VersionInfoTest, TVersionInfo_TakesTheFileDateAsAFileTime) {
    using namespace std::chrono;
    const sys_seconds when = sys_days{year{2004} / June / 15} + hours{12} + seconds{5};
    constexpr std::uint64_t kSecondsFrom1601To1970 = 11644473600;
    const std::uint64_t fileTime =
        (static_cast<std::uint64_t>(when.time_since_epoch().count()) + kSecondsFrom1601To1970) * 10'000'000 +
        1'230'000;  // and 123 ms
    FixedFileInfo fixed = Fixed();
    fixed.fileDateMS = static_cast<std::uint32_t>(fileTime >> 32);
    fixed.fileDateLS = static_cast<std::uint32_t>(fileTime);
    TVersionInfo info;
    info.SetFileName(WriteProgram("dated", versionres::MakeVersionInfo(fixed, {StringTable{}})));
    EXPECT_EQ(info.FileDate(), time_point_cast<milliseconds>(when) + milliseconds{123});
}

TEST(VersionStringToNumber, FollowsTheVersionRules) {
    const struct {
        const char* text;
        double number;
    } cases[] = {
        {"2004.06", 2004.06}, {"1.0.1000.0", 1.0}, {"10.100.5", 0.0}, {"1.25.3", 1.25},
        {"123.5.6", 123.5},   {"1234.5.6", 0.0},   {"", 0.0},         {"abc", 0.0},
        {"7", 7.0},           {"1.x.2", 0.0},      {"inf", 0.0},      {"nan.1.2", 0.0},
    };
    for (const auto& example : cases) {
        EXPECT_DOUBLE_EQ(VersionStringToNumber(example.text), example.number) << '"' << example.text << '"';
    }
}

}  // namespace
}  // namespace flipbook
