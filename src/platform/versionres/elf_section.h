// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace flipbook::versionres {

enum class ElfSectionStatus {
    Found,
    Missing,     // a well-formed ELF file without a section of that name
    Unreadable,  // the file cannot be opened, is no ELF file, or its headers are damaged
};

struct ElfSection {
    ElfSectionStatus status = ElfSectionStatus::Unreadable;
    std::vector<std::uint8_t> bytes;
};

// Reads the contents of the named section of an ELF file (32- or 64-bit, either byte order). Never
// reads or allocates beyond what the file holds; a section larger than maxBytes counts as unreadable.
ElfSection ReadElfSection(const std::filesystem::path& file, std::string_view name, std::size_t maxBytes);

}  // namespace flipbook::versionres
