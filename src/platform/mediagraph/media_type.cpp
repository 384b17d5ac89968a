// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/media_type.h"

#include <cstring>

#include "platform/com/class_factory.h"

namespace flipbook {

namespace {

void PutUint16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutUint32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetUint32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

}  // namespace

std::uint8_t* MakeVideoInfoFormat(const VideoImageHeader& header, std::int64_t averageTimePerFrame) {
    auto* block = static_cast<std::uint8_t*>(CoTaskMemAlloc(kVideoInfoHeaderSize));
    if (!block) return nullptr;
    std::memset(block, 0, kVideoInfoHeaderSize);
    std::uint32_t width = static_cast<std::uint32_t>(header.width);
    std::uint32_t height = static_cast<std::uint32_t>(header.height < 0 ? -header.height : header.height);
    // rcSource and rcTarget: the whole picture.
    PutUint32(block + 8, width);
    PutUint32(block + 12, height);
    PutUint32(block + 24, width);
    PutUint32(block + 28, height);
    PutUint32(block + 40, static_cast<std::uint32_t>(averageTimePerFrame));
    PutUint32(block + 44, static_cast<std::uint32_t>(static_cast<std::uint64_t>(averageTimePerFrame) >> 32));
    std::uint8_t* image = block + kVideoInfoImageHeaderOffset;
    PutUint32(image, kImageHeaderSize);
    PutUint32(image + 4, static_cast<std::uint32_t>(header.width));
    PutUint32(image + 8, static_cast<std::uint32_t>(header.height));
    PutUint16(image + 12, 1);
    PutUint16(image + 14, header.bitCount);
    PutUint32(image + 16, header.compression);
    PutUint32(image + 20, header.sizeImage);
    return block;
}

bool ReadVideoImageHeader(const AM_MEDIA_TYPE& type, std::uint32_t offset, VideoImageHeader& header) {
    if (!type.pbFormat || type.cbFormat < offset || type.cbFormat - offset < kImageHeaderSize) return false;
    const std::uint8_t* image = type.pbFormat + offset;
    header.width = static_cast<std::int32_t>(GetUint32(image + 4));
    header.height = static_cast<std::int32_t>(GetUint32(image + 8));
    header.bitCount = static_cast<std::uint16_t>(image[14] | (image[15] << 8));
    header.compression = GetUint32(image + 16);
    header.sizeImage = GetUint32(image + 20);
    return true;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) std::exchange(type.pUnk, nullptr)->Release();
}

HRESULT CopyMediaType(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source) {
    target = source;
    if (target.pUnk) target.pUnk->AddRef();
    if (source.cbFormat == 0 || !source.pbFormat) {
        target.cbFormat = 0;
        target.pbFormat = nullptr;
        return S_OK;
    }
    target.pbFormat = static_cast<std::uint8_t*>(CoTaskMemAlloc(source.cbFormat));
    if (!target.pbFormat) {
        target.cbFormat = 0;
        return E_OUTOFMEMORY;
    }
    std::memcpy(target.pbFormat, source.pbFormat, source.cbFormat);
    return S_OK;
}

}  // namespace flipbook
