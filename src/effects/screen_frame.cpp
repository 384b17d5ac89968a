// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/screen_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/histogram.h"
#include "effects/layers.h"
#include "effects/view_rows.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {

using effects_detail::AxisTaps;
using effects_detail::Combine;
using effects_detail::kRowSlack;
using effects_detail::ViewRows;

PixelArea FittedArea(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) return {};
    const double scale = std::min(static_cast<double>(screenWidth) / pictureWidth,
                                  static_cast<double>(screenHeight) / pictureHeight);
    const int width = std::clamp(static_cast<int>(std::lround(pictureWidth * scale)), 1, screenWidth);
    const int height = std::clamp(static_cast<int>(std::lround(pictureHeight * scale)), 1, screenHeight);
    return {(screenWidth - width) / 2, (screenHeight - height) / 2, width, height};
}

void DrawThirdsGrid(const ScreenImage& screen, PixelArea area) {
    if (area.width < 6 || area.height < 6) return;
    const auto& rows = ViewRows();
    const auto row = [&](int y) { return screen.pixels + static_cast<std::size_t>(y) * screen.stride; };
    const int upper = area.top + area.height / 3;
    const int lower = area.top + area.height * 2 / 3;
    for (const int y : {upper, lower}) {
        rows.lighten(row(y) + area.left, static_cast<std::size_t>(area.width));
        rows.darken(row(y + 1) + area.left, static_cast<std::size_t>(area.width));
    }
    const int left = area.left + area.width / 3;
    const int right = area.left + area.width * 2 / 3;
    for (int y = area.top; y < area.top + area.height; ++y) {
        // Where the lines cross, the horizontal line's pixels stand alone.
        if (y == upper || y == upper + 1 || y == lower || y == lower + 1) continue;
        for (const int x : {left, right}) {
            rows.lighten(row(y) + x, 1);
            rows.darken(row(y) + x + 1, 1);
        }
    }
}

// Rows of a 24-bit source as rows of another size, bilinear. Shrinking, rows are first mixed vertically
// over the source's width, then resampled across; enlarging, each source row is resampled across once
// and kept while the target rows between it and the next are mixed from the two. A source row of the
// target's size is handed out as it is.
class ScreenFrame::Scaler {
public:
    void Prepare(int sourceWidth, int sourceHeight, int targetWidth, int targetHeight) {
        // The source's rows may have changed since the last frame.
        for (Kept& kept : kept_) kept.row = -1;
        if (sourceWidth == sourceWidth_ && sourceHeight == sourceHeight_ && targetWidth == targetWidth_ &&
            targetHeight == targetHeight_)
            return;
        sourceWidth_ = sourceWidth;
        sourceHeight_ = sourceHeight;
        targetWidth_ = targetWidth;
        targetHeight_ = targetHeight;
        columns_ = effects_detail::MakeAxisTaps(sourceWidth, targetWidth);
        rows_ = effects_detail::MakeAxisTaps(sourceHeight, targetHeight);
        vertical_.assign(static_cast<std::size_t>(sourceWidth) * 3 + kRowSlack, 0);
        for (Kept& kept : kept_) kept.pixels.assign(static_cast<std::size_t>(targetWidth) * 3 + kRowSlack, 0);
    }

    // Row y of the target, in out (which has the slack), in a row kept here or in the source itself.
    const std::uint8_t* Row(const Bitmap& source, int y, std::uint8_t* out) {
        const auto& kernels = ViewRows();
        const auto at = static_cast<std::size_t>(y);
        if (sourceHeight_ == targetHeight_) return Across(source.ScanLine(y), out);
        if (Enlarges()) {
            const Between rows = Rows(source, y);
            if (rows.second == nullptr) return rows.first;
            kernels.lerp(rows.first, rows.second, out, static_cast<std::size_t>(targetWidth_) * 3,
                         rows.weight);
            return out;
        }
        const std::uint8_t* vertical = source.ScanLine(rows_.first[at]);
        if (rows_.weight[at] != 0) {
            kernels.lerp(vertical, source.ScanLine(rows_.second[at]), vertical_.data(),
                         static_cast<std::size_t>(sourceWidth_) * 3, rows_.weight[at]);
            vertical = vertical_.data();
        }
        return Across(vertical, out);
    }

    // Enlarging both ways, target rows are mixed from two resampled source rows (see Rows).
    bool Enlarges() const { return targetHeight_ > sourceHeight_ && sourceWidth_ != targetWidth_; }

    // The resampled rows target row y lies between and the second's weight in 1/256; second is null
    // at weight 0. The pass that writes the screen mixes them, so the mixed row is never stored.
    struct Between {
        const std::uint8_t* first = nullptr;
        const std::uint8_t* second = nullptr;
        int weight = 0;
    };
    Between Rows(const Bitmap& source, int y) {
        const auto at = static_cast<std::size_t>(y);
        const std::uint8_t* upper = KeptRow(source, rows_.first[at], rows_.second[at]);
        if (rows_.weight[at] == 0) return {upper, nullptr, 0};
        return {upper, KeptRow(source, rows_.second[at], rows_.first[at]), rows_.weight[at]};
    }

private:
    struct Kept {
        int row = -1;
        std::vector<std::uint8_t> pixels;
    };

    const std::uint8_t* Across(const std::uint8_t* row, std::uint8_t* out) const {
        if (sourceWidth_ == targetWidth_) return row;
        ViewRows().resample(row, out, columns_);
        return out;
    }

    // Source row `row` resampled across, replacing the kept row that is not `alsoNeeded`.
    const std::uint8_t* KeptRow(const Bitmap& source, int row, int alsoNeeded) {
        for (Kept& kept : kept_)
            if (kept.row == row) return kept.pixels.data();
        Kept& replaced = kept_[0].row == alsoNeeded ? kept_[1] : kept_[0];
        replaced.row = row;
        ViewRows().resample(source.ScanLine(row), replaced.pixels.data(), columns_);
        return replaced.pixels.data();
    }

    int sourceWidth_ = -1;
    int sourceHeight_ = -1;
    int targetWidth_ = -1;
    int targetHeight_ = -1;
    AxisTaps columns_;
    AxisTaps rows_;
    std::vector<std::uint8_t> vertical_;
    Kept kept_[2];
};

void ScreenFrame::FitIntoArea(const Bitmap& source, PixelArea area, std::vector<std::uint8_t>& pixels) {
    const std::size_t rowBytes = static_cast<std::size_t>(area.width) * 3;
    pixels.assign(rowBytes * static_cast<std::size_t>(area.height) + kRowSlack, 0);
    if (source.Empty()) return;
    // Pictures of the list may come in any format; they change far less often than frames come.
    Bitmap converted;
    const Bitmap* picture = &source;
    if (source.BitsPerPixel() != 24) {
        converted = source;
        converted.SetPixelFormat(PixelFormat::Bit24);
        picture = &converted;
    }
    const PixelArea fitted = FittedArea(picture->Width(), picture->Height(), area.width, area.height);
    Scaler scaler;
    scaler.Prepare(picture->Width(), picture->Height(), fitted.width, fitted.height);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(fitted.width) * 3 + kRowSlack);
    for (int y = 0; y < fitted.height; ++y) {
        std::memcpy(pixels.data() + static_cast<std::size_t>(fitted.top + y) * rowBytes +
                        static_cast<std::size_t>(fitted.left) * 3,
                    scaler.Row(*picture, y, row.data()), static_cast<std::size_t>(fitted.width) * 3);
    }
}

ScreenFrame::ScreenFrame() : liveScaler_(std::make_unique<Scaler>()) {}
ScreenFrame::~ScreenFrame() = default;

void ScreenFrame::ScaleReference(const Bitmap& reference, std::uint64_t referenceVersion, PixelArea area) {
    if (referenceVersion == referenceVersion_ && reference.Width() == referenceWidth_ &&
        reference.Height() == referenceHeight_ && area.width == referenceArea_.width &&
        area.height == referenceArea_.height)
        return;
    referenceVersion_ = referenceVersion;
    referenceWidth_ = reference.Width();
    referenceHeight_ = reference.Height();
    referenceArea_ = area;
    referenceEmpty_ = reference.Empty();
    FitIntoArea(reference, area, scaledReference_);
}

void ScreenFrame::FitLayers(std::span<const OnionLayer> older, std::size_t count, PixelArea area) {
    std::vector<FittedLayer> fitted(count);
    for (std::size_t index = 0; index < count; ++index) {
        FittedLayer& layer = fitted[index];
        const auto kept =
            std::find_if(fittedLayers_.begin(), fittedLayers_.end(), [&](const FittedLayer& old) {
                return old.id == older[index].id && old.width == area.width && old.height == area.height;
            });
        if (kept != fittedLayers_.end()) {
            layer = std::move(*kept);
            continue;
        }
        layer.id = older[index].id;
        layer.width = area.width;
        layer.height = area.height;
        FitIntoArea(*older[index].picture, area, layer.pixels);
    }
    fittedLayers_ = std::move(fitted);
}

const std::uint8_t* ScreenFrame::ReferenceRow(int y) const {
    return scaledReference_.data() + static_cast<std::size_t>(y) * referenceArea_.width * 3;
}

void ScreenFrame::Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                         const ScreenOptions& options, const ScreenImage& screen,
                         std::span<const OnionLayer> older) {
    const bool usable = live.BitsPerPixel() == 24 && !live.Empty();
    PixelArea area =
        usable ? FittedArea(live.Width(), live.Height(), screen.width, screen.height) : PixelArea{};
    if (options.mirrored) area.left = screen.width - area.left - area.width;
    const bool moved = area.left != shownArea_.left || area.top != shownArea_.top ||
                       area.width != shownArea_.width || area.height != shownArea_.height;
    if (moved || barsScreen_ != screen.pixels) {
        for (int y = 0; y < screen.height; ++y)
            std::fill_n(screen.pixels + static_cast<std::size_t>(y) * screen.stride, screen.width,
                        0xFF000000u);
        barsScreen_ = screen.pixels;
        shownArea_ = area;
    }
    if (!usable || area.width == 0) return;

    const ScreenLook look =
        options.look == ScreenLook::Mix && options.weight <= 0 ? ScreenLook::Live : options.look;
    if (look != ScreenLook::Live) ScaleReference(reference, referenceVersion, area);
    const bool mixed = look == ScreenLook::Mix && !referenceEmpty_;
    const std::size_t layerCount =
        mixed ? std::min({older.size(), static_cast<std::size_t>(std::max(options.layers - 1, 0)),
                          static_cast<std::size_t>(kMostOnionPictures - 1)})
              : 0;
    if (layerCount > 0) FitLayers(older, layerCount, area);
    const bool marked = options.clipping && (look == ScreenLook::Mix || look == ScreenLook::Live);
    // At the screen's size and at twice it (a 4K camera on a 1080p screen) the live rows go straight
    // into the one pass that writes the screen; enlarging, the two resampled rows a screen row lies
    // between go into it and are mixed there; other sizes are resampled into a row first, and so are
    // twice the size and enlarging when the layers or the marks need the live row as shown.
    const bool direct = live.Width() == area.width && live.Height() == area.height;
    const bool halving =
        layerCount == 0 && !marked && live.Width() == 2 * area.width && live.Height() == 2 * area.height;
    const bool scaling = look != ScreenLook::Reference && !direct && !halving;
    if (scaling) liveScaler_->Prepare(live.Width(), live.Height(), area.width, area.height);
    const bool between = scaling && layerCount == 0 && !marked && liveScaler_->Enlarges();
    const std::size_t rowBytes = static_cast<std::size_t>(area.width) * 3;
    if (scaling && row_.size() < rowBytes + kRowSlack) row_.resize(rowBytes + kRowSlack);
    const auto& kernels = ViewRows();
    effects_detail::ComposeInput input;
    if (mixed) {
        input.combine = Combine::Mix;
        input.weight = std::min(options.weight, 100);
    } else if (look == ScreenLook::Difference) {
        input.combine = Combine::Difference;
    }
    const OnionWeights weights =
        OnionLayerWeights(std::clamp(options.weight, 0, 100), static_cast<int>(layerCount) + 1);
    OnionRows layers;
    for (int y = 0; y < area.height; ++y) {
        if (look == ScreenLook::Reference) {
            input.live = ReferenceRow(y);
        } else if (direct) {
            input.live = live.ScanLine(y);
        } else if (halving) {
            input.live = live.ScanLine(2 * y);
            input.lower = live.ScanLine(2 * y + 1);
        } else if (between) {
            const auto rows = liveScaler_->Rows(live, y);
            input.live = rows.first;
            input.next = rows.second;
            input.nextWeight = rows.weight;
        } else {
            input.live = liveScaler_->Row(live, y, row_.data());
        }
        std::uint32_t* out =
            screen.pixels + static_cast<std::size_t>(area.top + y) * screen.stride + area.left;
        if (layerCount > 0) {
            layers.live = input.live;
            layers.pictures[0] = ReferenceRow(y);
            for (std::size_t index = 0; index < layerCount; ++index)
                layers.pictures[index + 1] =
                    fittedLayers_[index].pixels.data() + static_cast<std::size_t>(y) * rowBytes;
            ComposeOnionLayers(layers, weights, out, static_cast<std::size_t>(area.width), options.mirrored);
        } else {
            if (input.combine != Combine::Copy) input.reference = ReferenceRow(y);
            kernels.compose(input, out, static_cast<std::size_t>(area.width), options.mirrored);
        }
        if (marked)
            MarkClippedRow(input.live, out, static_cast<std::size_t>(area.width), area.top + y,
                           options.mirrored);
    }
    if (options.grid) DrawThirdsGrid(screen, area);
}

int ScreenFrame::ZoomScale(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight) {
    return pictureWidth <= screenWidth && pictureHeight <= screenHeight ? 2 : 1;
}

namespace {

// One axis of the focus check: the first picture pixel shown, the screen pixel it starts at and how
// many picture pixels show, for the picture pixel `under` that is to show at screen pixel `pointer`.
struct ZoomAxis {
    int first = 0;
    int offset = 0;
    int count = 0;
};
ZoomAxis ZoomAlong(int picture, int screen, int scale, int pointer, int under) {
    if (picture * scale <= screen) return {0, (screen - picture * scale) / 2, picture};
    const int visible = (screen + scale - 1) / scale;
    return {std::clamp(under - pointer / scale, 0, picture - visible), 0, visible};
}

}  // namespace

PixelArea ScreenFrame::RenderZoomed(const Bitmap& live, int pointerX, int pointerY,
                                    const ScreenOptions& options, const ScreenImage& screen) {
    // The fitted view draws again over the whole screen when the zoom ends.
    barsScreen_ = nullptr;
    const auto black = [&](int y, int from, int to) {
        if (to > from)
            std::fill(screen.pixels + static_cast<std::size_t>(y) * screen.stride + from,
                      screen.pixels + static_cast<std::size_t>(y) * screen.stride + to, 0xFF000000u);
    };
    if (live.BitsPerPixel() != 24 || live.Empty()) {
        for (int y = 0; y < screen.height; ++y) black(y, 0, screen.width);
        return {};
    }
    const int width = live.Width();
    const int height = live.Height();
    const int scale = ZoomScale(width, height, screen.width, screen.height);
    // The picture's pixel under the pointer in the fitted view, as seen (mirrored or not).
    const PixelArea fitted = FittedArea(width, height, screen.width, screen.height);
    const auto under = [](int pointer, int start, int length, int pixels) {
        const long long at = (static_cast<long long>(pointer - start) * pixels) / std::max(length, 1);
        return static_cast<int>(std::clamp<long long>(at, 0, pixels - 1));
    };
    const ZoomAxis across =
        ZoomAlong(width, screen.width, scale, pointerX, under(pointerX, fitted.left, fitted.width, width));
    const ZoomAxis down =
        ZoomAlong(height, screen.height, scale, pointerY, under(pointerY, fitted.top, fitted.height, height));
    // The columns of the picture's memory behind the ones seen.
    const int firstColumn = options.mirrored ? width - across.first - across.count : across.first;
    const int shownWidth = std::min(across.count * scale, screen.width - across.offset);
    if (zoomRow_.size() < static_cast<std::size_t>(across.count))
        zoomRow_.resize(static_cast<std::size_t>(across.count));
    const auto& kernels = ViewRows();
    for (int y = 0; y < screen.height; ++y) {
        const int row = (y - down.offset) / scale;
        if (y < down.offset || row >= down.count) {
            black(y, 0, screen.width);
            continue;
        }
        std::uint32_t* out = screen.pixels + static_cast<std::size_t>(y) * screen.stride;
        black(y, 0, across.offset);
        black(y, across.offset + shownWidth, screen.width);
        // The second screen row of a picture row at 2 x 2 is the first one again.
        if (scale == 2 && (y - down.offset) % 2 == 1) {
            std::memcpy(out + across.offset, out - screen.stride + across.offset,
                        static_cast<std::size_t>(shownWidth) * 4);
            continue;
        }
        const std::uint8_t* source =
            live.ScanLine(down.first + row) + static_cast<std::size_t>(firstColumn) * 3;
        std::uint32_t* pixels = scale == 1 ? out + across.offset : zoomRow_.data();
        kernels.expand(source, pixels, static_cast<std::size_t>(across.count), options.mirrored);
        if (options.clipping)
            MarkClippedRow(source, pixels, static_cast<std::size_t>(across.count), y, options.mirrored);
        if (scale == 2)
            for (int x = 0; x < shownWidth; ++x)
                out[across.offset + x] = zoomRow_[static_cast<std::size_t>(x / 2)];
    }
    return {across.first, down.first, across.count, down.count};
}

}  // namespace flipbook
