// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window's sample grabber over a stand-in filter that reports a connected 24-bit top-down
// format and keeps one frame of it, so a benchmark holds our work alone and needs no camera.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "../tests/capture/fake_sample_grabber.h"
#include "capture/sample_grabber.h"

namespace flipbook::bench {

class KeptFrameGrabber {
public:
    // The kept frame's bytes are i * step, so neighbouring bytes differ.
    KeptFrameGrabber(int width, int height, std::uint8_t step) {
        grabber.NotifyMember(moAdding, 0);
        grabber.NotifyMember(moAdded, 0);
        fakeClass_.grabber->Connect(width, -height);  // frames arrive top-down, as the service gives them
        const std::size_t rowStride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
        frame.resize(rowStride * static_cast<std::size_t>(height));
        for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i * step);
        fakeClass_.grabber->Keep(frame);
    }
    ~KeptFrameGrabber() {
        grabber.NotifyMember(moRemoving, 0);
        grabber.NotifyMember(moRemoved, 0);
    }
    KeptFrameGrabber(const KeptFrameGrabber&) = delete;
    KeptFrameGrabber& operator=(const KeptFrameGrabber&) = delete;

private:
    testing::FakeSampleGrabberClass fakeClass_;

public:
    TSampleGrabber grabber{"fwSampleGrabber"};
    std::vector<std::uint8_t> frame;
};

}  // namespace flipbook::bench
