// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

// Weights in 1/256: the position of one target pixel between two source pixels.
struct Tap {
    int first;
    int second;
    int weight;  // of the second, 0..256
};

// Bilinear taps for every target position along one axis, pixel centres aligned.
std::vector<Tap> Taps(int sourceLength, int targetLength) {
    std::vector<Tap> taps(static_cast<std::size_t>(targetLength));
    const double step = static_cast<double>(sourceLength) / targetLength;
    for (int position = 0; position < targetLength; ++position) {
        const double at = std::clamp((position + 0.5) * step - 0.5, 0.0, sourceLength - 1.0);
        const int first = static_cast<int>(at);
        const int second = std::min(first + 1, sourceLength - 1);
        taps[static_cast<std::size_t>(position)] = {first, second,
                                                    static_cast<int>(std::lround((at - first) * 256))};
    }
    return taps;
}

std::uint8_t Mix(std::uint8_t first, std::uint8_t second, int weight) {
    return static_cast<std::uint8_t>((first * (256 - weight) + second * weight + 128) >> 8);
}

// Writes the source scaled to width x height into rows of the target, row by row.
class FittedRows {
public:
    FittedRows(const Bitmap& source, int width, int height)
        : source_(source),
          width_(width),
          columns_(Taps(source.Width(), width)),
          rows_(Taps(source.Height(), height)),
          upper_(static_cast<std::size_t>(width) * 3),
          lower_(upper_.size()) {}

    void Write(int row, std::uint8_t* target) {
        const Tap& tap = rows_[static_cast<std::size_t>(row)];
        Horizontal(source_.ScanLine(tap.first), upper_.data());
        if (tap.weight == 0) {
            std::memcpy(target, upper_.data(), upper_.size());
            return;
        }
        Horizontal(source_.ScanLine(tap.second), lower_.data());
        for (std::size_t byte = 0; byte < upper_.size(); ++byte)
            target[byte] = Mix(upper_[byte], lower_[byte], tap.weight);
    }

private:
    void Horizontal(const std::uint8_t* sourceRow, std::uint8_t* out) const {
        for (int column = 0; column < width_; ++column) {
            const Tap& tap = columns_[static_cast<std::size_t>(column)];
            const std::uint8_t* first = sourceRow + tap.first * 3;
            const std::uint8_t* second = sourceRow + tap.second * 3;
            for (int channel = 0; channel < 3; ++channel)
                *out++ = Mix(first[channel], second[channel], tap.weight);
        }
    }

    const Bitmap& source_;
    int width_;
    std::vector<Tap> columns_;
    std::vector<Tap> rows_;
    std::vector<std::uint8_t> upper_;
    std::vector<std::uint8_t> lower_;
};

}  // namespace

void DrawFitted(const Bitmap& source, Bitmap& target, PixelArea area) {
    if (area.width <= 0 || area.height <= 0) return;
    std::uint8_t* pixels = target.MutablePixels();
    const auto rowOf = [&](int y) {
        const int memoryRow = target.TopDown() ? y : target.Height() - 1 - y;
        return pixels + static_cast<std::size_t>(memoryRow) * target.RowStride() +
               static_cast<std::size_t>(area.left) * 3;
    };
    const std::size_t areaBytes = static_cast<std::size_t>(area.width) * 3;
    for (int y = area.top; y < area.top + area.height; ++y) std::memset(rowOf(y), 0, areaBytes);
    if (source.Empty()) return;

    Bitmap converted;
    const Bitmap* picture = &source;
    if (source.BitsPerPixel() != 24) {
        converted = source;
        converted.SetPixelFormat(PixelFormat::Bit24);
        picture = &converted;
    }
    const double scale = std::min(static_cast<double>(area.width) / picture->Width(),
                                  static_cast<double>(area.height) / picture->Height());
    const int width = std::clamp(static_cast<int>(std::lround(picture->Width() * scale)), 1, area.width);
    const int height = std::clamp(static_cast<int>(std::lround(picture->Height() * scale)), 1, area.height);
    const int left = (area.width - width) / 2;
    const int top = area.top + (area.height - height) / 2;
    const std::size_t offset = static_cast<std::size_t>(left) * 3;

    if (width == picture->Width() && height == picture->Height()) {
        for (int row = 0; row < height; ++row)
            std::memcpy(rowOf(top + row) + offset, picture->ScanLine(row),
                        static_cast<std::size_t>(width) * 3);
        return;
    }
    FittedRows rows(*picture, width, height);
    for (int row = 0; row < height; ++row) rows.Write(row, rowOf(top + row) + offset);
}

void FitToSize(const Bitmap& source, Bitmap& target, int width, int height) {
    if (source.Width() == width && source.Height() == height && source.BitsPerPixel() == 24) {
        target = source;
        return;
    }
    if (target.Width() != width || target.Height() != height || target.BitsPerPixel() != 24) {
        target.Clear();
        target.SetPixelFormat(PixelFormat::Bit24);
        target.SetSize(width, height);
    }
    DrawFitted(source, target, {0, 0, width, height});
}

}  // namespace flipbook
