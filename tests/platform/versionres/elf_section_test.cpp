// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/versionres/elf_section.h"

#include <gtest/gtest.h>

#include "platform/versionres/test_elf_file.h"
#include "support/temp_dir.h"

namespace flipbook::versionres {
namespace {

using flipbook::testing::TempDir;
using flipbook::testing::TestElfFile;

const std::vector<std::uint8_t> kContents{1, 2, 3, 4, 5, 6, 7};

class ElfSectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder_.Keep();
    }

    std::string Write(const std::vector<std::uint8_t>& bytes) {
        const std::string path = folder_.File("file" + std::to_string(++count_));
        TestElfFile::WriteBytes(path, bytes);
        return path;
    }

    TempDir folder_;
    int count_ = 0;
};

TEST_F(ElfSectionTest, ReadElfSection_FindsTheSection_InEveryClassAndByteOrder) {
    for (const bool is64 : {true, false}) {
        for (const bool bigEndian : {false, true}) {
            TestElfFile elf({is64, bigEndian});
            elf.AddSection(".text", {0x90});
            elf.AddSection(".versioninfox", {9});  // a longer name that starts alike
            elf.AddSection(".versioninfo", kContents);
            const ElfSection section = ReadElfSection(Write(elf.Bytes()), ".versioninfo", 100);
            EXPECT_EQ(section.status, ElfSectionStatus::Found) << is64 << bigEndian;
            EXPECT_EQ(section.bytes, kContents) << is64 << bigEndian;
        }
    }
}

TEST_F(ElfSectionTest, ReadElfSection_ReportsMissing_WhenNoSectionHasTheName) {
    TestElfFile elf;
    elf.AddSection(".version", kContents);  // a shorter name that starts alike
    EXPECT_EQ(ReadElfSection(Write(elf.Bytes()), ".versioninfo", 100).status, ElfSectionStatus::Missing);
}

TEST_F(ElfSectionTest, ReadElfSection_ReportsUnreadable_ForFilesThatAreNoSoundElf) {
    EXPECT_EQ(ReadElfSection(folder_.File("absent"), ".versioninfo", 100).status,
              ElfSectionStatus::Unreadable);
    EXPECT_EQ(ReadElfSection(folder_.Path(), ".versioninfo", 100).status, ElfSectionStatus::Unreadable);
    EXPECT_EQ(ReadElfSection(Write({'M', 'Z', 0, 0}), ".versioninfo", 100).status,
              ElfSectionStatus::Unreadable);
    EXPECT_EQ(ReadElfSection(Write({}), ".versioninfo", 100).status, ElfSectionStatus::Unreadable);

    TestElfFile elf;
    elf.AddSection(".versioninfo", kContents);
    const std::vector<std::uint8_t> good = elf.Bytes();
    const std::size_t entry = elf.SectionTableOffset() + elf.SectionEntrySize();  // the .versioninfo header

    std::vector<std::uint8_t> contentsBeyondEnd = good;
    elf.Put(contentsBeyondEnd, entry + 24, 8, good.size() - 3);
    EXPECT_EQ(ReadElfSection(Write(contentsBeyondEnd), ".versioninfo", 100).status,
              ElfSectionStatus::Unreadable);

    std::vector<std::uint8_t> hugeSize = good;
    elf.Put(hugeSize, entry + 32, 8, UINT64_MAX);
    EXPECT_EQ(ReadElfSection(Write(hugeSize), ".versioninfo", UINT64_MAX).status,
              ElfSectionStatus::Unreadable);

    std::vector<std::uint8_t> tableBeyondEnd = good;
    elf.Put(tableBeyondEnd, 0x3C, 2, 0xFFFE);  // far more sections than the file holds
    EXPECT_EQ(ReadElfSection(Write(tableBeyondEnd), ".versioninfo", 100).status,
              ElfSectionStatus::Unreadable);

    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_EQ(ReadElfSection(Write(truncated), ".versioninfo", 100).status, ElfSectionStatus::Unreadable);
}

TEST_F(ElfSectionTest, ReadElfSection_RefusesSectionsLargerThanAllowed) {
    TestElfFile elf;
    elf.AddSection(".versioninfo", kContents);
    const std::string path = Write(elf.Bytes());
    EXPECT_EQ(ReadElfSection(path, ".versioninfo", kContents.size()).status, ElfSectionStatus::Found);
    EXPECT_EQ(ReadElfSection(path, ".versioninfo", kContents.size() - 1).status,
              ElfSectionStatus::Unreadable);
}

TEST_F(ElfSectionTest, ReadElfSection_TakesTheCountFromSectionZero_WhenTheHeaderDefersIt) {
    TestElfFile elf;
    elf.AddSection(".versioninfo", kContents);
    std::vector<std::uint8_t> bytes = elf.Bytes();
    // Many-section files keep 0 in the header and the real count in section 0's size field.
    elf.Put(bytes, 0x3C, 2, 0);
    elf.Put(bytes, elf.SectionTableOffset() + 32, 8, 3);
    const ElfSection section = ReadElfSection(Write(bytes), ".versioninfo", 100);
    EXPECT_EQ(section.status, ElfSectionStatus::Found);
    EXPECT_EQ(section.bytes, kContents);
}

}  // namespace
}  // namespace flipbook::versionres
