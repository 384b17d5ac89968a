// SPDX-License-Identifier: GPL-3.0-or-later
#include "codecs/bmp/run_length.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/core/exception.h"

namespace flipbook::bmp_detail {

namespace {

// Escape codes that follow a zero count.
constexpr std::uint8_t kEndOfLine = 0;
constexpr std::uint8_t kEndOfBitmap = 1;
constexpr std::uint8_t kDelta = 2;

class RunLengthDecoder {
public:
    RunLengthDecoder(std::span<const std::uint8_t> data, int indexesPerByte,
                     const std::vector<RgbQuad>& colorTable, const DeviceTarget& target)
        : data_(data), indexesPerByte_(indexesPerByte), target_(target) {
        const std::size_t entries = std::min(colorTable.size(), colors_.size());
        for (std::size_t index = 0; index < entries; ++index) {
            const RgbQuad& entry = colorTable[index];
            colors_[index] = std::array<std::uint8_t, 4>{entry.blue, entry.green, entry.red, 0};
        }
    }

    void Decode() {
        while (Has(2)) {
            const std::uint8_t count = data_[position_];
            const std::uint8_t code = data_[position_ + 1];
            position_ += 2;
            if (count != 0) {
                EncodedRun(count, code);
            } else if (code == kEndOfLine) {
                x_ = 0;
                // Trailing end-of-line codes after the last row write nothing; keep y from running off.
                y_ = std::min(y_ + 1, target_.height);
            } else if (code == kEndOfBitmap) {
                return;
            } else if (code == kDelta) {
                if (!Has(2)) return;
                Delta(data_[position_], data_[position_ + 1]);
                position_ += 2;
            } else {
                AbsoluteRun(code);
            }
        }
    }

private:
    using Pixel = std::array<std::uint8_t, 4>;

    bool Has(std::size_t bytes) const { return data_.size() - position_ >= bytes; }

    // Room for `count` pixels from the current position, or the data is not a picture of this size.
    void RequireRoom(int count) const {
        if (y_ >= target_.height || count > target_.width - x_) throw EInvalidGraphic();
    }

    std::uint8_t* PixelAt(int x) const {
        const auto row = static_cast<std::size_t>(target_.height - 1 - y_);
        return target_.pixels + row * target_.rowStride + static_cast<std::size_t>(x) * 4;
    }

    void Put(std::uint8_t*& out, std::uint8_t index) const {
        std::memcpy(out, colors_[index].data(), 4);
        out += 4;
    }

    // `count` pixels of one index (8 bits) or of two alternating indexes (4 bits, high nibble first).
    void EncodedRun(int count, std::uint8_t value) {
        RequireRoom(count);
        std::uint8_t* out = PixelAt(x_);
        if (indexesPerByte_ == 1) {
            for (int i = 0; i < count; ++i) Put(out, value);
        } else {
            const std::uint8_t high = value >> 4;
            const std::uint8_t low = value & 0x0F;
            for (int i = 0; i < count; ++i) Put(out, (i % 2 == 0) ? high : low);
        }
        x_ += count;
    }

    // `count` literal indexes follow, padded to an even number of bytes.
    void AbsoluteRun(int count) {
        RequireRoom(count);
        const std::size_t bytes =
            indexesPerByte_ == 1 ? static_cast<std::size_t>(count) : static_cast<std::size_t>(count + 1) / 2;
        const std::size_t available = std::min(bytes, data_.size() - position_);
        const std::uint8_t* in = data_.data() + position_;
        std::uint8_t* out = PixelAt(x_);
        int written = 0;
        if (indexesPerByte_ == 1) {
            for (; written < static_cast<int>(available); ++written) Put(out, in[written]);
        } else {
            for (; written < count && static_cast<std::size_t>(written / 2) < available; ++written) {
                const std::uint8_t byte = in[written / 2];
                Put(out, (written % 2 == 0) ? byte >> 4 : byte & 0x0F);
            }
        }
        x_ += written;
        position_ = std::min(data_.size(), position_ + ((bytes + 1) & ~std::size_t{1}));
    }

    // Moves right and up (towards the top of the picture) without writing.
    void Delta(int right, int up) {
        if (right > target_.width - x_ || up > target_.height - y_) throw EInvalidGraphic();
        x_ += right;
        y_ += up;
    }

    std::span<const std::uint8_t> data_;
    std::size_t position_ = 0;
    int indexesPerByte_;
    DeviceTarget target_;
    std::array<Pixel, 256> colors_{};  // entries beyond the colour table stay black
    int x_ = 0;
    int y_ = 0;  // counted from the bottom row
};

}  // namespace

void DecodeRunLength(std::span<const std::uint8_t> data, int indexesPerByte,
                     const std::vector<RgbQuad>& colorTable, const DeviceTarget& target) {
    RunLengthDecoder(data, indexesPerByte, colorTable, target).Decode();
}

}  // namespace flipbook::bmp_detail
