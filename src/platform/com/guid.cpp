// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/com/guid.h"

#include <cstdio>

namespace flipbook {

namespace {

std::optional<std::uint32_t> HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
    return std::nullopt;
}

std::optional<std::uint32_t> HexField(std::string_view text, std::size_t start, std::size_t count) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        auto digit = HexValue(text[start + i]);
        if (!digit) return std::nullopt;
        value = value * 16 + *digit;
    }
    return value;
}

}  // namespace

std::array<std::uint8_t, 16> GUID::ToBytes() const {
    std::array<std::uint8_t, 16> bytes{};
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<std::uint8_t>(data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<std::uint8_t>(data3 >> (8 * i));
    for (int i = 0; i < 8; ++i) bytes[8 + i] = data4[i];
    return bytes;
}

GUID GUID::FromBytes(const std::uint8_t* bytes) {
    GUID guid;
    for (int i = 3; i >= 0; --i) guid.data1 = (guid.data1 << 8) | bytes[i];
    guid.data2 = static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8));
    guid.data3 = static_cast<std::uint16_t>(bytes[6] | (bytes[7] << 8));
    for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
    return guid;
}

std::optional<GUID> ParseGuid(std::string_view text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
    for (std::size_t dash : {9u, 14u, 19u, 24u})
        if (text[dash] != '-') return std::nullopt;
    auto data1 = HexField(text, 1, 8);
    auto data2 = HexField(text, 10, 4);
    auto data3 = HexField(text, 15, 4);
    if (!data1 || !data2 || !data3) return std::nullopt;
    GUID guid;
    guid.data1 = *data1;
    guid.data2 = static_cast<std::uint16_t>(*data2);
    guid.data3 = static_cast<std::uint16_t>(*data3);
    static constexpr std::size_t kData4Offsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        auto byte = HexField(text, kData4Offsets[i], 2);
        if (!byte) return std::nullopt;
        guid.data4[i] = static_cast<std::uint8_t>(*byte);
    }
    return guid;
}

std::string GuidToString(const GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.data1,
                  guid.data2, guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                  guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
    return text;
}

}  // namespace flipbook
