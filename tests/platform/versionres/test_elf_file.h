// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace flipbook::testing {

// Builds small ELF files for the tests: a file header, the sections' contents, a section-name table
// and the section-header table, in 32 or 64 bits and either byte order. Fields can be damaged after
// Bytes() by patching the returned offsets.
class TestElfFile {
public:
    struct Options {
        bool is64 = true;
        bool bigEndian = false;
    };

    TestElfFile() = default;
    explicit TestElfFile(Options options) : options_(options) {}

    void AddSection(std::string name, std::vector<std::uint8_t> contents) {
        sections_.emplace_back(std::move(name), std::move(contents));
    }

    // Where the built file keeps the section-header table and how large one entry is.
    std::size_t SectionTableOffset() const { return sectionTableOffset_; }
    std::size_t SectionEntrySize() const { return options_.is64 ? 64 : 40; }

    std::vector<std::uint8_t> Bytes() {
        const std::size_t headerSize = options_.is64 ? 64 : 52;
        std::vector<std::uint8_t> out(headerSize, 0);
        // Section contents, then the name table; remember where each went.
        std::vector<std::pair<std::size_t, std::size_t>> placed;  // offset, name offset
        std::vector<std::uint8_t> names(1, 0);
        for (const auto& [name, contents] : sections_) {
            placed.emplace_back(out.size(), names.size());
            out.insert(out.end(), contents.begin(), contents.end());
            names.insert(names.end(), name.begin(), name.end());
            names.push_back(0);
        }
        const std::size_t namesNameOffset = names.size();
        const std::string tableName = ".shstrtab";
        names.insert(names.end(), tableName.begin(), tableName.end());
        names.push_back(0);
        const std::size_t namesOffset = out.size();
        out.insert(out.end(), names.begin(), names.end());
        while (out.size() % 8 != 0) out.push_back(0);

        sectionTableOffset_ = out.size();
        const std::size_t count = sections_.size() + 2;  // the null section and the name table
        out.resize(out.size() + count * SectionEntrySize(), 0);
        for (std::size_t index = 0; index < sections_.size(); ++index) {
            WriteSection(out, index + 1, placed[index].second, 1, placed[index].first,
                         sections_[index].second.size());
        }
        WriteSection(out, count - 1, namesNameOffset, 3, namesOffset, names.size());

        out[0] = 0x7F;
        out[1] = 'E';
        out[2] = 'L';
        out[3] = 'F';
        out[4] = options_.is64 ? 2 : 1;
        out[5] = options_.bigEndian ? 2 : 1;
        out[6] = 1;
        Put(out, 16, 2, 2);  // executable
        if (options_.is64) {
            Put(out, 0x28, 8, sectionTableOffset_);
            Put(out, 0x3A, 2, 64);
            Put(out, 0x3C, 2, count);
            Put(out, 0x3E, 2, count - 1);
        } else {
            Put(out, 0x20, 4, sectionTableOffset_);
            Put(out, 0x2E, 2, 40);
            Put(out, 0x30, 2, count);
            Put(out, 0x32, 2, count - 1);
        }
        return out;
    }

    void Write(const std::string& path) { WriteBytes(path, Bytes()); }

    // Puts an unsigned value of `width` bytes at `offset` in the file's byte order.
    void Put(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t width,
             std::uint64_t value) const {
        for (std::size_t index = 0; index < width; ++index) {
            const std::size_t shift = options_.bigEndian ? (width - 1 - index) * 8 : index * 8;
            out[offset + index] = static_cast<std::uint8_t>(value >> shift);
        }
    }

    static void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    void WriteSection(std::vector<std::uint8_t>& out, std::size_t index, std::size_t nameOffset,
                      std::uint32_t type, std::size_t offset, std::size_t size) const {
        const std::size_t entry = sectionTableOffset_ + index * SectionEntrySize();
        Put(out, entry, 4, nameOffset);
        Put(out, entry + 4, 4, type);
        if (options_.is64) {
            Put(out, entry + 24, 8, offset);
            Put(out, entry + 32, 8, size);
        } else {
            Put(out, entry + 16, 4, offset);
            Put(out, entry + 20, 4, size);
        }
    }

    Options options_;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> sections_;
    std::size_t sectionTableOffset_ = 0;
};

}  // namespace flipbook::testing
