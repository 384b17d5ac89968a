// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the full-screen shooting view paints: the live picture fitted to the screen with black bars,
// mixed with the reference picture and the pictures before it or compared with it, mirrored, with a
// rule-of-thirds grid and the clipped pixels marked; or the focus check's pixels one to one. Work on
// the screen's own 32-bit pixels, so painting is a plain copy.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "effects/fit.h"

namespace flipbook {

class Bitmap;

// Pixels of the screen's format: blue, green, red and 255 in one 32-bit word each, row after row.
struct ScreenImage {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;  // in pixels
};

enum class ScreenLook {
    Mix,         // (100 - weight) % of the live picture and weight % of the reference, as the onion skin
    Live,        // the live picture alone
    Reference,   // the reference alone
    Difference,  // min(255, 4 |live - reference|) for every byte
};

struct ScreenOptions {
    ScreenLook look = ScreenLook::Mix;
    int weight = 50;  // 0 to 100
    // Pictures the mix lays over the live one: the reference and up to 4 before it (see layers.h).
    int layers = 1;
    bool mirrored = false;
    bool grid = false;
    // The exposure check: the live picture's clipped pixels marked (see histogram.h), in the mix and
    // the live picture alone.
    bool clipping = false;
};

// A picture before the reference for the mix, any size and format; id stays the same exactly as long as
// the picture does, so it is fitted to the screen once.
struct OnionLayer {
    const Bitmap* picture = nullptr;
    std::uint64_t id = 0;
};

// The area of a screen that a picture fills when fitted, proportions kept, centred.
PixelArea FittedArea(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight);

// Lines at the thirds of the area, each a light line with a dark one below or right of it
// (see ViewRowKernels::lighten and darken).
void DrawThirdsGrid(const ScreenImage& screen, PixelArea area);

// Turns frames into screen images. Keeps the reference scaled to the screen between frames, so a frame
// reads the live picture once and the scaled reference once. Not thread-safe; one thread renders.
class ScreenFrame {
public:
    ScreenFrame();
    ~ScreenFrame();
    ScreenFrame(const ScreenFrame&) = delete;
    ScreenFrame& operator=(const ScreenFrame&) = delete;

    // Draws the live picture (24-bit; any other format shows black) fitted into the screen, bilinear
    // (an exact 2 x 2 average at half size), combined with the reference as the options say; an empty
    // reference counts as black, a reference of another shape is fitted into the live picture's area.
    // The reference is scaled again only when referenceVersion, its size or the area changes. With
    // options.layers above 1 the mix lays the older pictures (newest first) under the reference, as many
    // as there are up to layers - 1, each fitted as the reference is and kept fitted while its id stays.
    void Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                const ScreenOptions& options, const ScreenImage& screen,
                std::span<const OnionLayer> older = {});

    // The focus check: the live picture's own pixels, each as one screen pixel, or as 2 x 2 when the
    // whole picture fits the screen (ZoomScale), mirrored as asked, clipped pixels marked as asked.
    // The picture's pixel that the fitted view shows at the pointer (screen pixels) shows under the
    // pointer, as far as the picture's edges allow, so the pointer moved across the screen passes over
    // the whole picture; a picture smaller than the screen is centred with black around it. Returns the
    // part of the picture shown, in the picture's pixels as seen (mirrored when mirrored).
    PixelArea RenderZoomed(const Bitmap& live, int pointerX, int pointerY, const ScreenOptions& options,
                           const ScreenImage& screen);
    static int ZoomScale(int pictureWidth, int pictureHeight, int screenWidth, int screenHeight);

    // The screen area the last frame filled (mirroring included).
    PixelArea Area() const { return shownArea_; }

private:
    class Scaler;
    struct FittedLayer {
        std::uint64_t id = 0;
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> pixels;
    };
    // The picture fitted whole into an area of its own (24-bit rows of the area's width, with the row
    // slack), black beside it.
    static void FitIntoArea(const Bitmap& picture, PixelArea area, std::vector<std::uint8_t>& pixels);
    void ScaleReference(const Bitmap& reference, std::uint64_t referenceVersion, PixelArea area);
    // The older pictures fitted into the area, those fitted for an earlier frame kept.
    void FitLayers(std::span<const OnionLayer> older, std::size_t count, PixelArea area);
    const std::uint8_t* ReferenceRow(int y) const;

    std::vector<std::uint8_t> row_;
    std::vector<std::uint32_t> zoomRow_;
    std::vector<std::uint8_t> scaledReference_;
    std::vector<FittedLayer> fittedLayers_;
    std::unique_ptr<Scaler> liveScaler_;
    // What the reference was scaled for; version 0 with empty sizes means never.
    std::uint64_t referenceVersion_ = 0;
    int referenceWidth_ = -1;
    int referenceHeight_ = -1;
    PixelArea referenceArea_{};
    bool referenceEmpty_ = true;
    // What the black bars were drawn for.
    const std::uint32_t* barsScreen_ = nullptr;
    PixelArea shownArea_{};
};

}  // namespace flipbook
