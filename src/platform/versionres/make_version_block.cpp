// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time tool: turns the version values file into the binary version block that the build
// stores in the executable.
//   make_version_block <values file> <output file>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "platform/versionres/version_block.h"

namespace {

using flipbook::versionres::FixedFileInfo;
using flipbook::versionres::StringTable;

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::uint32_t ParseNumber(const std::string& text) {
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 0);
    if (used != text.size() || value > UINT32_MAX) throw std::invalid_argument("not a number: " + text);
    return static_cast<std::uint32_t>(value);
}

// "a.b.c.d" as the two halves of a fixed-part version: a and b in the high one, c and d in the low one.
std::pair<std::uint32_t, std::uint32_t> ParseVersion(const std::string& text) {
    std::uint32_t parts[4] = {};
    std::size_t begin = 0;
    for (std::uint32_t& part : parts) {
        const std::size_t end = text.find('.', begin);
        part = ParseNumber(text.substr(begin, end - begin));
        if (part > 0xFFFF) throw std::invalid_argument("version part too large: " + text);
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

void SetFixed(FixedFileInfo& fixed, const std::string& key, const std::string& value) {
    if (key == "FileVersion") {
        std::tie(fixed.fileVersionMS, fixed.fileVersionLS) = ParseVersion(value);
    } else if (key == "ProductVersion") {
        std::tie(fixed.productVersionMS, fixed.productVersionLS) = ParseVersion(value);
    } else if (key == "FileFlagsMask") {
        fixed.fileFlagsMask = ParseNumber(value);
    } else if (key == "FileFlags") {
        fixed.fileFlags = ParseNumber(value);
    } else if (key == "FileOS") {
        fixed.fileOS = ParseNumber(value);
    } else if (key == "FileType") {
        fixed.fileType = ParseNumber(value);
    } else if (key == "FileSubtype") {
        fixed.fileSubtype = ParseNumber(value);
    } else {
        throw std::invalid_argument("unknown fixed value: " + key);
    }
}

void SetTranslation(StringTable& table, const std::string& key, const std::string& value) {
    const std::uint32_t number = ParseNumber(value);
    if (number > 0xFFFF) throw std::invalid_argument("translation value too large: " + value);
    if (key == "Language") {
        table.language = static_cast<std::uint16_t>(number);
    } else if (key == "CodePage") {
        table.codePage = static_cast<std::uint16_t>(number);
    } else {
        throw std::invalid_argument("unknown translation value: " + key);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_version_block <values file> <output file>\n";
        return 2;
    }
    try {
        std::ifstream values(argv[1]);
        if (!values) throw std::runtime_error(std::string("cannot open ") + argv[1]);
        FixedFileInfo fixed;
        StringTable table;
        std::string section;
        std::string line;
        while (std::getline(values, line)) {
            line = Trim(line);
            if (line.empty() || line.front() == '#') continue;
            if (line.front() == '[') {
                section = line;
                continue;
            }
            const std::size_t equals = line.find('=');
            if (equals == std::string::npos) throw std::invalid_argument("not a key = value line: " + line);
            const std::string key = Trim(line.substr(0, equals));
            const std::string value = Trim(line.substr(equals + 1));
            if (section == "[Fixed]") {
                SetFixed(fixed, key, value);
            } else if (section == "[Translation]") {
                SetTranslation(table, key, value);
            } else if (section == "[Strings]") {
                table.entries.emplace_back(key, value);
            } else {
                throw std::invalid_argument("value outside a known section: " + line);
            }
        }
        const std::vector<std::uint8_t> block =
            flipbook::versionres::Serialize(flipbook::versionres::MakeVersionInfo(fixed, {table}));
        std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
        output.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size()));
        if (!output.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
    } catch (const std::exception& error) {
        std::cerr << "make_version_block: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
