// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the service's objects reach the GStreamer objects behind them; not for callers of the service.

#include "platform/mediagraph/filters.h"
#include "platform/mediagraph/gst_handles.h"

namespace flipbook {

// Answered by every filter and graph of this service: the element (or pipeline) it stands for.
class IGstElement : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{9B0C2E55-7A3D-4E61-8F0B-3C5D2A71E6F4}");

    virtual GstElement* Element() = 0;
};

// The element behind a filter or graph of ours; null for anything else.
GstElement* ElementOf(IUnknown* object);

// A filter standing for one element (a source bin, a converter).
ComPtr<IBaseFilter> MakeElementFilter(gst::ElementPtr element);
// A pin standing for one pad.
ComPtr<IPin> MakePin(gst::PadPtr pad);

// The common IBaseFilter operations on an element: its pins (sink pads first) and stopping it alone.
HRESULT EnumElementPins(GstElement* element, std::vector<ComPtr<IPin>>& pins);
HRESULT StopElement(GstElement* element);

}  // namespace flipbook
