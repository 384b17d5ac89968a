// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/versionres/version_block.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "platform/versionres/elf_section.h"

namespace flipbook::versionres {
namespace {

constexpr std::size_t kNodeHeaderBytes = 6;
constexpr char32_t kReplacement = 0xFFFD;

std::size_t AlignTo32Bits(std::size_t offset) {
    return (offset + 3) & ~std::size_t{3};
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

void AppendU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void AppendU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    AppendU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    AppendU16(out, static_cast<std::uint16_t>(value >> 16));
}

void PutU16(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t value) {
    if (value > 0xFFFF) throw std::length_error("version block too large");
    out[offset] = static_cast<std::uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void PadTo32Bits(std::vector<std::uint8_t>& out) {
    out.resize(AlignTo32Bits(out.size()), 0);
}

// UTF-8 to UTF-16 code units; a malformed sequence becomes U+FFFD.
std::vector<char16_t> ToUtf16(std::string_view text) {
    std::vector<char16_t> units;
    std::size_t index = 0;
    while (index < text.size()) {
        const auto lead = static_cast<unsigned char>(text[index]);
        const std::size_t length = lead < 0x80           ? 1
                                   : (lead >> 5) == 0x6  ? 2
                                   : (lead >> 4) == 0xE  ? 3
                                   : (lead >> 3) == 0x1E ? 4
                                                         : 0;
        char32_t code = kReplacement;
        if (length == 1) {
            code = lead;
        } else if (length > 1 && index + length <= text.size()) {
            code = lead & (0x7F >> length);
            bool valid = true;
            for (std::size_t next = 1; next < length; ++next) {
                const auto unit = static_cast<unsigned char>(text[index + next]);
                valid = valid && (unit & 0xC0) == 0x80;
                code = (code << 6) | (unit & 0x3F);
            }
            if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = kReplacement;
        }
        index += length == 0 ? 1 : length;
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(code));
        }
    }
    return units;
}

void AppendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// UTF-16LE bytes up to the first zero unit, as UTF-8; a lone surrogate becomes U+FFFD.
std::string FromUtf16(std::span<const std::uint8_t> bytes) {
    std::string text;
    const std::size_t count = bytes.size() / 2;
    for (std::size_t index = 0; index < count; ++index) {
        char32_t code = ReadU16(bytes, index * 2);
        if (code == 0) break;
        if (code >= 0xD800 && code <= 0xDBFF && index + 1 < count) {
            const char32_t low = ReadU16(bytes, (index + 1) * 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                ++index;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) code = kReplacement;
        AppendUtf8(text, code);
    }
    return text;
}

bool KeyEquals(std::string_view stored, std::string_view wanted) {
    if (stored.size() != wanted.size()) return false;
    for (std::size_t index = 0; index < stored.size(); ++index) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(stored[index]) != lower(wanted[index])) return false;
    }
    return true;
}

// One node found inside a serialised block, with every part checked to lie inside its parent.
struct ParsedNode {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string key;
    std::size_t valueBegin = 0;
    std::size_t valueBytes = 0;
    std::size_t childrenBegin = 0;
};

std::optional<ParsedNode> ParseNode(std::span<const std::uint8_t> block, std::size_t begin,
                                    std::size_t limit) {
    if (begin > limit || limit - begin < kNodeHeaderBytes) return std::nullopt;
    const std::size_t length = ReadU16(block, begin);
    if (length < kNodeHeaderBytes || length > limit - begin) return std::nullopt;
    ParsedNode node;
    node.begin = begin;
    node.end = begin + length;
    const std::size_t valueLength = ReadU16(block, begin + 2);
    const bool isText = ReadU16(block, begin + 4) == static_cast<std::uint16_t>(VersionNode::Kind::Text);

    std::size_t offset = begin + kNodeHeaderBytes;
    for (;;) {
        if (node.end - offset < 2) return std::nullopt;  // the key has no terminating zero
        const std::uint16_t unit = ReadU16(block, offset);
        offset += 2;
        if (unit == 0) break;
    }
    node.key = FromUtf16(block.subspan(begin + kNodeHeaderBytes, offset - begin - kNodeHeaderBytes));
    node.valueBegin = std::min(AlignTo32Bits(offset), node.end);
    node.valueBytes = isText ? valueLength * 2 : valueLength;
    if (node.valueBytes > node.end - node.valueBegin) return std::nullopt;
    node.childrenBegin = std::min(AlignTo32Bits(node.valueBegin + node.valueBytes), node.end);
    return node;
}

}  // namespace

std::vector<std::uint8_t> FixedFileInfo::Serialize() const {
    std::vector<std::uint8_t> out;
    for (std::uint32_t field :
         {signature, structVersion, fileVersionMS, fileVersionLS, productVersionMS, productVersionLS,
          fileFlagsMask, fileFlags, fileOS, fileType, fileSubtype, fileDateMS, fileDateLS}) {
        AppendU32(out, field);
    }
    return out;
}

FixedFileInfo FixedFileInfo::Parse(std::span<const std::uint8_t> bytes) {
    std::uint8_t padded[kSize] = {};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kSize), padded);
    std::uint32_t fields[kSize / 4];
    for (std::size_t index = 0; index < kSize / 4; ++index) {
        const std::uint8_t* field = padded + index * 4;
        fields[index] = static_cast<std::uint32_t>(field[0] | (field[1] << 8) | (field[2] << 16)) |
                        (static_cast<std::uint32_t>(field[3]) << 24);
    }
    return FixedFileInfo{fields[0], fields[1], fields[2], fields[3],  fields[4],  fields[5], fields[6],
                         fields[7], fields[8], fields[9], fields[10], fields[11], fields[12]};
}

VersionNode VersionNode::Text(std::string key, std::string_view value) {
    VersionNode node;
    node.key = std::move(key);
    node.kind = Kind::Text;
    for (char16_t unit : ToUtf16(value)) AppendU16(node.value, unit);
    AppendU16(node.value, 0);
    return node;
}

VersionNode MakeVersionInfo(const FixedFileInfo& fixed, const std::vector<StringTable>& tables,
                            bool withTranslation) {
    VersionNode root{"VS_VERSION_INFO", VersionNode::Kind::Binary, fixed.Serialize(), {}};
    VersionNode strings{"StringFileInfo", VersionNode::Kind::Text, {}, {}};
    VersionNode translation{"Translation", VersionNode::Kind::Binary, {}, {}};
    for (const StringTable& table : tables) {
        char name[9];
        std::snprintf(name, sizeof name, "%04X%04X", table.language, table.codePage);
        VersionNode tableNode{name, VersionNode::Kind::Text, {}, {}};
        for (const auto& [key, value] : table.entries)
            tableNode.children.push_back(VersionNode::Text(key, value));
        strings.children.push_back(std::move(tableNode));
        AppendU16(translation.value, table.language);
        AppendU16(translation.value, table.codePage);
    }
    root.children.push_back(std::move(strings));
    if (withTranslation) {
        root.children.push_back(
            VersionNode{"VarFileInfo", VersionNode::Kind::Text, {}, {std::move(translation)}});
    }
    return root;
}

std::vector<std::uint8_t> Serialize(const VersionNode& node) {
    std::vector<std::uint8_t> out;
    AppendU16(out, 0);  // length, filled in below
    AppendU16(out, 0);  // value length, filled in below
    AppendU16(out, static_cast<std::uint16_t>(node.kind));
    for (char16_t unit : ToUtf16(node.key)) AppendU16(out, unit);
    AppendU16(out, 0);
    PadTo32Bits(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    PutU16(out, 2, node.kind == VersionNode::Kind::Text ? node.value.size() / 2 : node.value.size());
    for (const VersionNode& child : node.children) {
        PadTo32Bits(out);
        const std::vector<std::uint8_t> serialized = Serialize(child);
        out.insert(out.end(), serialized.begin(), serialized.end());
    }
    PutU16(out, 0, out.size());
    return out;
}

std::optional<std::span<const std::uint8_t>> VersionBlock::QueryValue(std::string_view path) const {
    const std::span<const std::uint8_t> block(bytes_);
    std::optional<ParsedNode> node = ParseNode(block, 0, block.size());
    if (!node) return std::nullopt;

    while (!path.empty()) {
        if (path.front() == '\\') {
            path.remove_prefix(1);
            continue;
        }
        const std::size_t separator = path.find('\\');
        const std::string_view key = path.substr(0, separator);
        path = separator == std::string_view::npos ? std::string_view{} : path.substr(separator);

        std::optional<ParsedNode> match;
        for (std::size_t child = node->childrenBegin; child < node->end;) {
            std::optional<ParsedNode> candidate = ParseNode(block, child, node->end);
            if (!candidate) break;
            if (KeyEquals(candidate->key, key)) {
                match = std::move(candidate);
                break;
            }
            child = AlignTo32Bits(candidate->end);
        }
        if (!match) return std::nullopt;
        node = std::move(match);
    }
    return block.subspan(node->valueBegin, node->valueBytes);
}

std::optional<std::string> VersionBlock::QueryText(std::string_view path) const {
    const std::optional<std::span<const std::uint8_t>> value = QueryValue(path);
    if (!value) return std::nullopt;
    return FromUtf16(*value);
}

FileVersionBlock ReadFileVersionBlock(const std::filesystem::path& file) {
    ElfSection section = ReadElfSection(file, kVersionSectionName, kMaxVersionBlockBytes + 1);
    FileVersionBlock result;
    if (section.status == ElfSectionStatus::Found && !section.bytes.empty()) {
        result.status = VersionBlockStatus::Found;
        result.bytes = std::move(section.bytes);
    } else if (section.status != ElfSectionStatus::Unreadable) {
        result.status = VersionBlockStatus::Missing;
    }
    return result;
}

}  // namespace flipbook::versionres
