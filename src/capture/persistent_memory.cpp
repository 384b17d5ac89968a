// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/persistent_memory.h"

#include <algorithm>
#include <array>

#include "platform/core/exception.h"
#include "platform/graphics/stream.h"

namespace flipbook {

void TPersistentMemory::SetDataLength(std::uint32_t length) {
    std::vector<std::uint8_t>().swap(block_);
    block_.resize(length);
}

void TPersistentMemory::Assign(const TPersistentMemory& other) {
    if (&other != this) block_ = other.block_;
}

void TPersistentMemory::ReadData(Stream& stream) {
    std::array<std::uint8_t, 4> prefix{};
    stream.ReadBuffer(prefix.data(), prefix.size());
    const std::uint32_t length =
        prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) | (static_cast<std::uint32_t>(prefix[3]) << 24);
    SetDataLength(0);
    // The stored length is only believed as far as the stream can back it.
    if (static_cast<std::int64_t>(length) > stream.Remaining()) throw EReadError();
    SetDataLength(length);
    if (length > 0) stream.ReadBuffer(block_.data(), length);
}

void TPersistentMemory::WriteData(Stream& stream) const {
    const std::uint32_t length = DataLength();
    const std::array<std::uint8_t, 4> prefix{
        static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length >> 16), static_cast<std::uint8_t>(length >> 24)};
    stream.WriteBuffer(prefix.data(), prefix.size());
    if (length > 0) stream.WriteBuffer(block_.data(), length);
}

bool TPersistentMemory::StoresData(const TPersistentMemory* ancestor) const {
    if (!ancestor || ancestor->block_.empty()) return true;
    return ancestor->block_ != block_;
}

ComPtr<IMoniker> TBaseFilter::Moniker() const {
    ComPtr<IMoniker> moniker;
    if (DataLength() == 0) return moniker;
    ByteReader reader({Data(), DataLength()});
    OleLoadFromStream(reader, IMoniker::kIid, moniker.PutVoid());
    return moniker;
}

void TBaseFilter::SetMoniker(IMoniker* moniker) {
    SetDataLength(0);
    if (!moniker) return;
    std::vector<std::uint8_t> image;
    if (Failed(OleSaveToStream(moniker, image))) return;
    SetDataLength(static_cast<std::uint32_t>(image.size()));
    std::copy(image.begin(), image.end(), MutableData());
}

ComPtr<IBaseFilter> TBaseFilter::CreateFilter() const {
    ComPtr<IBaseFilter> filter;
    ComPtr<IMoniker> moniker = Moniker();
    if (moniker) moniker->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid());
    return filter;
}

}  // namespace flipbook
