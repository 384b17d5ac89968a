// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "platform/com/unknown.h"

namespace flipbook {

inline constexpr GUID MEDIATYPE_Video = MakeGuid("{73646976-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_RGB24 = MakeGuid("{E436EB7D-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_RGB32 = MakeGuid("{E436EB7E-524F-11CE-9F53-0020AF0BA770}");
inline constexpr GUID MEDIASUBTYPE_YUY2 = MakeGuid("{32595559-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_I420 = MakeGuid("{30323449-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_NV12 = MakeGuid("{3231564E-0000-0010-8000-00AA00389B71}");
inline constexpr GUID MEDIASUBTYPE_MJPG = MakeGuid("{47504A4D-0000-0010-8000-00AA00389B71}");
inline constexpr GUID FORMAT_VideoInfo = MakeGuid("{05589F80-C356-11CE-BF01-00AA0055595A}");
inline constexpr GUID FORMAT_VideoInfo2 = MakeGuid("{F72A76A0-EB0A-11D0-ACE4-0000C0CC16BA}");

// A media type record; the format block is allocated with CoTaskMemAlloc and belongs to the record's
// holder, who frees it with FreeMediaType.
struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    std::int32_t bFixedSizeSamples = 0;
    std::int32_t bTemporalCompression = 0;
    std::uint32_t lSampleSize = 0;
    GUID formattype;
    IUnknown* pUnk = nullptr;
    std::uint32_t cbFormat = 0;
    std::uint8_t* pbFormat = nullptr;
};

// Byte layout of a VIDEOINFOHEADER format block: two rectangles, bit rate, error rate, frame time,
// then the 40-byte little-endian image header.
inline constexpr std::uint32_t kVideoInfoHeaderSize = 88;
inline constexpr std::uint32_t kVideoInfoImageHeaderOffset = 48;
inline constexpr std::uint32_t kVideoInfo2ImageHeaderOffset = 72;
inline constexpr std::uint32_t kImageHeaderSize = 40;

// The fields of the image header that the service fills; the rest stay zero.
struct VideoImageHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // negative for top-down rows
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
};

// A VIDEOINFOHEADER block of kVideoInfoHeaderSize bytes from CoTaskMemAlloc (null when that fails).
std::uint8_t* MakeVideoInfoFormat(const VideoImageHeader& header, std::int64_t averageTimePerFrame);
// The image header inside a format block at the given offset; nothing when the block is too short.
bool ReadVideoImageHeader(const AM_MEDIA_TYPE& type, std::uint32_t offset, VideoImageHeader& header);

// Frees the format block and drops the reference slot; the record is left with no block.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Copies a record, duplicating the block and taking a reference to pUnk. A failed allocation leaves
// the copy without a block (E_OUTOFMEMORY).
HRESULT CopyMediaType(AM_MEDIA_TYPE& target, const AM_MEDIA_TYPE& source);

}  // namespace flipbook
