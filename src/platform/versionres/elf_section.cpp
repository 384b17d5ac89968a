// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/versionres/elf_section.h"

#include <array>
#include <fstream>
#include <optional>
#include <string>

namespace flipbook::versionres {
namespace {

constexpr std::uint32_t kSectionTypeNoBits = 8;
constexpr std::uint16_t kExtendedSectionIndex = 0xFFFF;

// Where the fields of the file header and of a section header lie in the two classes of ELF.
struct ElfLayout {
    bool is64;
    std::size_t fileHeaderSize;
    std::size_t sectionTableOffsetField;
    std::size_t sectionEntrySizeField;
    std::size_t sectionCountField;
    std::size_t nameTableIndexField;
    std::size_t sectionHeaderSize;
    std::size_t sectionOffsetField;
    std::size_t sectionSizeField;
    std::size_t sectionLinkField;
};

constexpr ElfLayout kElf32{false, 52, 0x20, 0x2E, 0x30, 0x32, 40, 16, 20, 24};
constexpr ElfLayout kElf64{true, 64, 0x28, 0x3A, 0x3C, 0x3E, 64, 24, 32, 40};

// Random access to a file that refuses every read reaching past its end.
class BoundedFile {
public:
    explicit BoundedFile(const std::filesystem::path& path) : stream_(path, std::ios::binary) {
        if (!stream_) return;
        stream_.seekg(0, std::ios::end);
        const std::streamoff end = stream_.tellg();
        if (end < 0) return;
        size_ = static_cast<std::uint64_t>(end);
        open_ = true;
    }

    bool IsOpen() const { return open_; }

    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
        if (offset > size_ || count > size_ - offset) return false;
        stream_.seekg(static_cast<std::streamoff>(offset));
        stream_.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(stream_.gcount()) == count;
    }

    bool Fits(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }

private:
    std::ifstream stream_;
    std::uint64_t size_ = 0;
    bool open_ = false;
};

// Reads unsigned integers of either byte order out of a header held in memory.
class FieldReader {
public:
    FieldReader(const std::uint8_t* bytes, bool bigEndian) : bytes_(bytes), bigEndian_(bigEndian) {}

    std::uint64_t Read(std::size_t offset, std::size_t width) const {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < width; ++index) {
            const std::size_t byteIndex = bigEndian_ ? index : width - 1 - index;
            value = (value << 8) | bytes_[offset + byteIndex];
        }
        return value;
    }

private:
    const std::uint8_t* bytes_;
    bool bigEndian_;
};

struct SectionHeader {
    std::uint32_t nameOffset = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

class ElfFile {
public:
    explicit ElfFile(const std::filesystem::path& path) : file_(path) {}

    // Reads the file header; false when the file is no ELF file we understand.
    bool ReadHeader() {
        std::array<std::uint8_t, 64> header{};
        if (!file_.IsOpen() || !file_.ReadAt(0, header.data(), 16)) return false;
        if (header[0] != 0x7F || header[1] != 'E' || header[2] != 'L' || header[3] != 'F') return false;
        if (header[4] == 1) {
            layout_ = &kElf32;
        } else if (header[4] == 2) {
            layout_ = &kElf64;
        } else {
            return false;
        }
        if (header[5] != 1 && header[5] != 2) return false;
        bigEndian_ = header[5] == 2;
        if (!file_.ReadAt(0, header.data(), layout_->fileHeaderSize)) return false;

        const FieldReader fields(header.data(), bigEndian_);
        const std::size_t addressWidth = layout_->is64 ? 8 : 4;
        tableOffset_ = fields.Read(layout_->sectionTableOffsetField, addressWidth);
        entrySize_ = fields.Read(layout_->sectionEntrySizeField, 2);
        count_ = fields.Read(layout_->sectionCountField, 2);
        nameTableIndex_ = fields.Read(layout_->nameTableIndexField, 2);
        if (tableOffset_ == 0) {
            count_ = 0;
            return true;
        }
        if (entrySize_ < layout_->sectionHeaderSize) return false;

        // Files with very many sections keep the real count and name-table index in section 0.
        if (count_ == 0 || nameTableIndex_ == kExtendedSectionIndex) {
            const std::optional<SectionHeader> first = Section(0, /*checkCount=*/false);
            if (!first) return false;
            if (count_ == 0) count_ = first->size;
            if (nameTableIndex_ == kExtendedSectionIndex) nameTableIndex_ = first->link;
        }
        // The whole table must lie inside the file; this also bounds every loop over it.
        if (count_ > UINT64_MAX / entrySize_ || !file_.Fits(tableOffset_, count_ * entrySize_)) return false;
        return true;
    }

    std::uint64_t SectionCount() const { return count_; }

    std::optional<SectionHeader> Section(std::uint64_t index, bool checkCount = true) {
        if (checkCount && index >= count_) return std::nullopt;
        std::array<std::uint8_t, 64> bytes{};
        if (index > (UINT64_MAX - tableOffset_) / entrySize_) return std::nullopt;
        if (!file_.ReadAt(tableOffset_ + index * entrySize_, bytes.data(), layout_->sectionHeaderSize)) {
            return std::nullopt;
        }
        const FieldReader fields(bytes.data(), bigEndian_);
        const std::size_t addressWidth = layout_->is64 ? 8 : 4;
        SectionHeader section;
        section.nameOffset = static_cast<std::uint32_t>(fields.Read(0, 4));
        section.type = static_cast<std::uint32_t>(fields.Read(4, 4));
        section.offset = fields.Read(layout_->sectionOffsetField, addressWidth);
        section.size = fields.Read(layout_->sectionSizeField, addressWidth);
        section.link = static_cast<std::uint32_t>(fields.Read(layout_->sectionLinkField, 4));
        return section;
    }

    // True when the name table holds exactly `name` at the offset.
    bool NameEquals(const SectionHeader& nameTable, std::uint32_t nameOffset, std::string_view name) {
        const std::uint64_t wanted = name.size() + 1;  // with its terminating zero
        if (nameOffset > nameTable.size || wanted > nameTable.size - nameOffset) return false;
        std::string stored(wanted, '\0');
        if (!file_.ReadAt(nameTable.offset + nameOffset, stored.data(), stored.size())) return false;
        return stored.back() == '\0' && std::string_view(stored.data(), name.size()) == name;
    }

    std::uint64_t NameTableIndex() const { return nameTableIndex_; }

    bool HoldsContents(const SectionHeader& section) const {
        return section.type != kSectionTypeNoBits && file_.Fits(section.offset, section.size);
    }

    bool ReadContents(const SectionHeader& section, std::vector<std::uint8_t>& bytes) {
        if (section.type == kSectionTypeNoBits) {
            bytes.clear();
            return true;
        }
        if (!file_.Fits(section.offset, section.size)) return false;
        bytes.resize(static_cast<std::size_t>(section.size));
        return bytes.empty() || file_.ReadAt(section.offset, bytes.data(), bytes.size());
    }

private:
    BoundedFile file_;
    const ElfLayout* layout_ = nullptr;
    bool bigEndian_ = false;
    std::uint64_t tableOffset_ = 0;
    std::uint64_t entrySize_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t nameTableIndex_ = 0;
};

}  // namespace

ElfSection ReadElfSection(const std::filesystem::path& file, std::string_view name, std::size_t maxBytes) {
    ElfSection result;
    ElfFile elf(file);
    if (!elf.ReadHeader()) return result;
    if (elf.SectionCount() == 0) {
        result.status = ElfSectionStatus::Missing;
        return result;
    }
    const std::optional<SectionHeader> nameTable = elf.Section(elf.NameTableIndex());
    if (!nameTable || !elf.HoldsContents(*nameTable)) return result;

    for (std::uint64_t index = 0; index < elf.SectionCount(); ++index) {
        const std::optional<SectionHeader> section = elf.Section(index);
        if (!section) return result;
        if (!elf.NameEquals(*nameTable, section->nameOffset, name)) continue;
        if (section->size > maxBytes || !elf.ReadContents(*section, result.bytes)) return result;
        result.status = ElfSectionStatus::Found;
        return result;
    }
    result.status = ElfSectionStatus::Missing;
    return result;
}

}  // namespace flipbook::versionres
