// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/versionres/version_block.h"

#include <gtest/gtest.h>

namespace flipbook::versionres {
namespace {

std::uint16_t U16At(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::string Utf16KeyAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::string key;
    for (; U16At(bytes, offset) != 0; offset += 2) key.push_back(static_cast<char>(U16At(bytes, offset)));
    return key;
}

FixedFileInfo SampleFixed() {
    FixedFileInfo fixed;
    fixed.fileVersionMS = 0x00010000;
    fixed.fileVersionLS = 0x03E80000;
    fixed.productVersionMS = 0x00020003;
    fixed.productVersionLS = 0x00040005;
    fixed.fileFlagsMask = 0x3F;
    fixed.fileOS = 0x40004;
    fixed.fileType = 1;
    fixed.fileDateMS = 0x01C45300;
    fixed.fileDateLS = 0x12345678;
    return fixed;
}

VersionNode SampleTree() {
    return MakeVersionInfo(SampleFixed(),
                           {{0x0409, 0x04E4, {{"ProductName", "Flipbook Cam"}, {"Comments", ""}}},
                            {0x0407, 0x04E4, {{"ProductName", "Daumenkino Käm"}}}});
}

TEST(VersionBlock_Serialize, FollowsThePublishedLayout) {
    const std::vector<std::uint8_t> bytes = Serialize(SampleTree());

    EXPECT_EQ(U16At(bytes, 0), bytes.size());  // the root's length covers the whole block
    EXPECT_EQ(U16At(bytes, 2), FixedFileInfo::kSize);
    EXPECT_EQ(U16At(bytes, 4), 0);  // binary
    EXPECT_EQ(Utf16KeyAt(bytes, 6), "VS_VERSION_INFO");
    // 6 header bytes + 16 UTF-16 units of key = 38, padded to 40: the fixed part starts there.
    const std::size_t fixedAt = 40;
    EXPECT_EQ(bytes[fixedAt], 0xBD);
    EXPECT_EQ(bytes[fixedAt + 1], 0x04);
    EXPECT_EQ(bytes[fixedAt + 2], 0xEF);
    EXPECT_EQ(bytes[fixedAt + 3], 0xFE);
    // The first child follows the 52-byte value at 92, already 32-bit aligned.
    EXPECT_EQ(Utf16KeyAt(bytes, 92 + 6), "StringFileInfo");
    EXPECT_EQ(bytes.size() % 4, 0u);
}

TEST(VersionBlock_Query, FindsValuesByPath) {
    const VersionBlock block(Serialize(SampleTree()));

    const auto fixedBytes = block.QueryValue("\\");
    ASSERT_TRUE(fixedBytes.has_value());
    const FixedFileInfo fixed = FixedFileInfo::Parse(*fixedBytes);
    EXPECT_EQ(fixed.signature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.structVersion, 0x00010000u);
    EXPECT_EQ(fixed.productVersionLS, 0x00040005u);
    EXPECT_EQ(fixed.fileDateLS, 0x12345678u);

    const auto translation = block.QueryValue("\\VarFileInfo\\Translation");
    ASSERT_TRUE(translation.has_value());
    EXPECT_EQ(std::vector<std::uint8_t>(translation->begin(), translation->end()),
              (std::vector<std::uint8_t>{0x09, 0x04, 0xE4, 0x04, 0x07, 0x04, 0xE4, 0x04}));

    // Keys compare without case, and the leading "\" may be left out.
    EXPECT_EQ(block.QueryText("StringFileInfo\\040904e4\\ProductName"), "Flipbook Cam");
    EXPECT_EQ(block.QueryText("\\stringfileinfo\\040904E4\\PRODUCTNAME"), "Flipbook Cam");
    EXPECT_EQ(block.QueryText("StringFileInfo\\040704e4\\ProductName"), "Daumenkino Käm");
    EXPECT_EQ(block.QueryText("StringFileInfo\\040904e4\\Comments"), "");
    EXPECT_FALSE(block.QueryText("StringFileInfo\\040904e4\\CompanyName").has_value());
    EXPECT_FALSE(block.QueryValue("\\VarFileInfo\\Translation\\More").has_value());
}

TEST(VersionBlock_Query, TextWithoutTerminatorAndEmptyValues) {
    VersionNode table{"040904E4", VersionNode::Kind::Text, {}, {}};
    table.children.push_back(VersionNode{"NoTerminator", VersionNode::Kind::Text, {'a', 0, 'b', 0}, {}});
    table.children.push_back(VersionNode{"NoValue", VersionNode::Kind::Text, {}, {}});
    VersionNode root{"VS_VERSION_INFO", VersionNode::Kind::Binary, SampleFixed().Serialize(), {}};
    root.children.push_back(VersionNode{"StringFileInfo", VersionNode::Kind::Text, {}, {std::move(table)}});
    const VersionBlock block(Serialize(root));

    EXPECT_EQ(block.QueryText("StringFileInfo\\040904e4\\NoTerminator"), "ab");
    EXPECT_EQ(block.QueryText("StringFileInfo\\040904e4\\NoValue"), "");
}

TEST(VersionBlock_Query, DamagedBlocksOnlyFailQueries) {
    const std::vector<std::uint8_t> good = Serialize(SampleTree());
    const char* const paths[] = {"\\", "\\VarFileInfo\\Translation", "StringFileInfo\\040904e4\\ProductName",
                                 "StringFileInfo\\040704e4\\ProductName"};

    // A truncated block: its root claims more bytes than there are, so nothing is found.
    for (std::size_t length = 0; length < good.size(); ++length) {
        const VersionBlock block(std::vector<std::uint8_t>(good.begin(), good.begin() + length));
        for (const char* path : paths)
            EXPECT_FALSE(block.QueryValue(path).has_value()) << path << " at " << length;
    }
    // Every single byte set to 0xFF in turn: whatever a query finds lies inside the block (reads
    // outside it show under the address sanitizer).
    for (std::size_t offset = 0; offset < good.size(); ++offset) {
        std::vector<std::uint8_t> damaged = good;
        damaged[offset] = 0xFF;
        const VersionBlock block(damaged);
        for (const char* path : paths) {
            if (const auto value = block.QueryValue(path)) {
                EXPECT_LE(value->size(), damaged.size()) << path;
            }
            block.QueryText(path);
        }
    }
}

TEST(VersionBlock_Serialize, RefusesBlocksBeyondSixteenBitLengths) {
    StringTable table;
    table.entries.emplace_back("Comments", std::string(40000, 'x'));
    EXPECT_THROW(Serialize(MakeVersionInfo(SampleFixed(), {table})), std::length_error);
}

TEST(VersionBlock_MakeVersionInfo, LeavesOutTheTranslationListOnRequest) {
    const VersionBlock block(Serialize(MakeVersionInfo(SampleFixed(), {StringTable{}}, false)));
    EXPECT_FALSE(block.QueryValue("\\VarFileInfo\\Translation").has_value());
    EXPECT_TRUE(block.QueryValue("\\").has_value());
}

}  // namespace
}  // namespace flipbook::versionres
