// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the full-screen shooting view paints: the live picture fitted to the screen with black bars,
// mixed with the reference picture or compared with it, mirrored, with a rule-of-thirds grid. Work on
// the screen's own 32-bit pixels, so painting is a plain copy.

#include <cstddef>
#include <cstdint>
#include <memory>
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
    bool mirrored = false;
    bool grid = false;
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
    // The reference is scaled again only when referenceVersion, its size or the area changes.
    void Render(const Bitmap& live, const Bitmap& reference, std::uint64_t referenceVersion,
                const ScreenOptions& options, const ScreenImage& screen);

    // The screen area the last frame filled (mirroring included).
    PixelArea Area() const { return shownArea_; }

private:
    class Scaler;
    void ScaleReference(const Bitmap& reference, std::uint64_t referenceVersion, PixelArea area);
    const std::uint8_t* ReferenceRow(int y) const;

    std::vector<std::uint8_t> row_;
    std::vector<std::uint8_t> scaledReference_;
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
