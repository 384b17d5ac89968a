// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flipbook::versionres {

// The name of the ELF section in which the build stores the program's version block.
inline constexpr std::string_view kVersionSectionName = ".versioninfo";
// A version block's lengths are 16-bit, so no block is larger than this.
inline constexpr std::size_t kMaxVersionBlockBytes = 0xFFFF;

// The fixed part of a version block: 13 little-endian u32 fields, 52 bytes.
struct FixedFileInfo {
    std::uint32_t signature = 0xFEEF04BD;
    std::uint32_t structVersion = 0x00010000;
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;

    static constexpr std::size_t kSize = 52;
    std::vector<std::uint8_t> Serialize() const;
    // Reads the fields from up to 52 bytes; missing trailing bytes count as zero.
    static FixedFileInfo Parse(std::span<const std::uint8_t> bytes);
};

// One node of a version block: a key, a value (binary, or zero-terminated UTF-16 text) and children.
struct VersionNode {
    enum class Kind : std::uint16_t { Binary = 0, Text = 1 };

    std::string key;
    Kind kind = Kind::Binary;
    // Binary: the bytes. Text: UTF-16LE code units, usually ending with a zero unit.
    std::vector<std::uint8_t> value;
    std::vector<VersionNode> children;

    // A text node holding the UTF-8 value converted to UTF-16 with its terminating zero.
    static VersionNode Text(std::string key, std::string_view value);
};

// One language's string table and the translation entry that names it.
struct StringTable {
    std::uint16_t language = 0x0409;
    std::uint16_t codePage = 0x04E4;
    std::vector<std::pair<std::string, std::string>> entries;
};

// Builds the usual tree: the fixed part, "StringFileInfo" with one table per entry of `tables`, and
// "VarFileInfo\Translation" listing every table's language and code page (left out when
// `withTranslation` is false).
VersionNode MakeVersionInfo(const FixedFileInfo& fixed, const std::vector<StringTable>& tables,
                            bool withTranslation = true);

// Serialises a node in the published layout: u16 length, u16 value length (in UTF-16 units for text,
// bytes otherwise), u16 kind, the key in UTF-16 with its zero, padding to 32 bits, the value, padding,
// the children. Raises std::length_error when the result would exceed kMaxVersionBlockBytes.
std::vector<std::uint8_t> Serialize(const VersionNode& node);

// A serialised version block, queried by path as the platform does: "\" is the root's value (the fixed
// part), other paths name keys from the root separated by "\", with or without a leading "\"; keys
// compare without regard to ASCII case. Every length is checked against its parent, so a damaged block
// only makes queries fail.
class VersionBlock {
public:
    explicit VersionBlock(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    // The value's bytes (text values as UTF-16LE units), or nothing when the path does not lead to a node.
    std::optional<std::span<const std::uint8_t>> QueryValue(std::string_view path) const;
    // A text value up to its first zero unit, in UTF-8; nothing when the path leads nowhere.
    std::optional<std::string> QueryText(std::string_view path) const;

private:
    std::vector<std::uint8_t> bytes_;
};

enum class VersionBlockStatus { Found, Missing, Unreadable };

struct FileVersionBlock {
    VersionBlockStatus status = VersionBlockStatus::Unreadable;
    std::vector<std::uint8_t> bytes;
};

// Reads the version block out of an executable file: Missing when the file has no (or an empty)
// version section, Unreadable when the file cannot be read as an ELF file.
FileVersionBlock ReadFileVersionBlock(const std::filesystem::path& file);

}  // namespace flipbook::versionres
