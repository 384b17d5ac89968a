// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace flipbook {

// A 128-bit class or interface identifier. Its 16-byte image (ToBytes) stores the three leading
// fields little-endian, as identifiers are persisted in moniker images and media-type records.
struct GUID {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};

    bool operator==(const GUID&) const = default;
    auto operator<=>(const GUID&) const = default;

    std::array<std::uint8_t, 16> ToBytes() const;
    static GUID FromBytes(const std::uint8_t* bytes);
};
using IID = GUID;
using CLSID = GUID;

inline constexpr GUID GUID_NULL{};

// Parses the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hexadecimal digits of either
// case, nothing before or after); nothing for any other text.
std::optional<GUID> ParseGuid(std::string_view text);

// The registry form with upper-case digits.
std::string GuidToString(const GUID& guid);

// A GUID written in the registry form at compile time; a malformed literal does not compile.
consteval GUID MakeGuid(std::string_view text) {
    auto digit = [&](std::size_t index) -> std::uint32_t {
        char c = text[index];
        if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
        if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
        if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
        throw "not a hexadecimal digit";
    };
    auto field = [&](std::size_t start, std::size_t count) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < count; ++i) value = value * 16 + digit(start + i);
        return value;
    };
    if (text.size() != 38 || text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' ||
        text[24] != '-' || text[37] != '}')
        throw "not a GUID in registry form";
    GUID guid;
    guid.data1 = field(1, 8);
    guid.data2 = static_cast<std::uint16_t>(field(10, 4));
    guid.data3 = static_cast<std::uint16_t>(field(15, 4));
    guid.data4[0] = static_cast<std::uint8_t>(field(20, 2));
    guid.data4[1] = static_cast<std::uint8_t>(field(22, 2));
    for (std::size_t i = 0; i < 6; ++i) guid.data4[2 + i] = static_cast<std::uint8_t>(field(25 + 2 * i, 2));
    return guid;
}

}  // namespace flipbook
