// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/media_type.h"

#include <array>
#include <cstring>

#include "platform/com/class_factory.h"
#include "platform/core/exception.h"
#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

// Offsets of the record image's fields.
constexpr std::size_t kMajorType = 0;
constexpr std::size_t kSubtype = 16;
constexpr std::size_t kFixedSizeSamples = 32;
constexpr std::size_t kTemporalCompression = 36;
constexpr std::size_t kSampleSize = 40;
constexpr std::size_t kFormatType = 44;
constexpr std::size_t kFormatLength = 64;

using RecordImage = std::array<std::uint8_t, TMediaType::kRecordImageSize>;

void PutUint32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetUint32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

void PutGuid(std::uint8_t* at, const GUID& guid) {
    const auto bytes = guid.ToBytes();
    std::memcpy(at, bytes.data(), bytes.size());
}

}  // namespace

TMediaType::TMediaType() {
    record_.bFixedSizeSamples = -1;
    record_.lSampleSize = 1;
}

TMediaType::~TMediaType() {
    FreeMediaType(record_);
}

TMediaType::TMediaType(const TMediaType& other) {
    CopyMediaType(record_, other.record_);
}

TMediaType& TMediaType::operator=(const TMediaType& other) {
    Assign(other);
    return *this;
}

void TMediaType::Assign(const TMediaType& other) {
    if (&other != this) Assign(other.record_);
}

void TMediaType::Assign(const AM_MEDIA_TYPE& other) {
    if (&other == &record_) return;
    AM_MEDIA_TYPE copy;
    CopyMediaType(copy, other);
    FreeMediaType(record_);
    record_ = copy;
}

bool TMediaType::Equals(const TMediaType& other) const {
    const AM_MEDIA_TYPE& a = record_;
    const AM_MEDIA_TYPE& b = other.record_;
    if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype) return false;
    if (a.cbFormat != b.cbFormat) return false;
    return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

void TMediaType::ReadData(Stream& stream) {
    FreeMediaType(record_);
    RecordImage image{};
    stream.ReadBuffer(image.data(), image.size());
    record_.majortype = GUID::FromBytes(image.data() + kMajorType);
    record_.subtype = GUID::FromBytes(image.data() + kSubtype);
    record_.bFixedSizeSamples = static_cast<std::int32_t>(GetUint32(image.data() + kFixedSizeSamples));
    record_.bTemporalCompression = static_cast<std::int32_t>(GetUint32(image.data() + kTemporalCompression));
    record_.lSampleSize = GetUint32(image.data() + kSampleSize);
    record_.formattype = GUID::FromBytes(image.data() + kFormatType);
    // The stored reference and address were only meaningful in the process that wrote them.
    record_.pUnk = nullptr;
    const std::uint32_t formatLength = GetUint32(image.data() + kFormatLength);
    if (formatLength == 0) return;
    if (static_cast<std::int64_t>(formatLength) > stream.Remaining()) throw EReadError();
    auto* block = static_cast<std::uint8_t*>(CoTaskMemAlloc(formatLength));
    if (!block) throw EReadError();
    record_.pbFormat = block;
    record_.cbFormat = formatLength;
    stream.ReadBuffer(block, formatLength);
}

void TMediaType::WriteData(Stream& stream) const {
    RecordImage image{};
    PutGuid(image.data() + kMajorType, record_.majortype);
    PutGuid(image.data() + kSubtype, record_.subtype);
    PutUint32(image.data() + kFixedSizeSamples, static_cast<std::uint32_t>(record_.bFixedSizeSamples));
    PutUint32(image.data() + kTemporalCompression, static_cast<std::uint32_t>(record_.bTemporalCompression));
    PutUint32(image.data() + kSampleSize, record_.lSampleSize);
    PutGuid(image.data() + kFormatType, record_.formattype);
    const std::uint32_t formatLength = record_.pbFormat ? record_.cbFormat : 0;
    PutUint32(image.data() + kFormatLength, formatLength);
    stream.WriteBuffer(image.data(), image.size());
    if (formatLength > 0) stream.WriteBuffer(record_.pbFormat, formatLength);
}

bool TMediaType::StoresData(const TMediaType* ancestor) const {
    return !ancestor || !ancestor->Equals(*this);
}

}  // namespace flipbook
