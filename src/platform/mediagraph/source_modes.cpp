// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/source_modes.h"

#include "platform/mediagraph/gst_filter.h"

namespace flipbook {
namespace {

// Kept on the element itself, so it goes with the element when the source is bound anew.
constexpr const char* kPreferredModeKey = "flipbook-preferred-capture-mode";

bool SameMode(const CaptureMode& a, const CaptureMode& b) {
    return a.format == b.format && a.compressed == b.compressed && a.width == b.width &&
           a.height == b.height && a.rateNumerator == b.rateNumerator &&
           a.rateDenominator == b.rateDenominator;
}

}  // namespace

void PreferCaptureMode(IBaseFilter* source, const CaptureMode& mode) {
    GstElement* element = ElementOf(source);
    if (!element) return;
    g_object_set_data_full(G_OBJECT(element), kPreferredModeKey, new CaptureMode(mode),
                           [](gpointer kept) { delete static_cast<CaptureMode*>(kept); });
}

std::optional<std::size_t> PreferredModeIndex(GstElement* source, const std::vector<CaptureMode>& modes) {
    const auto* preferred =
        static_cast<const CaptureMode*>(g_object_get_data(G_OBJECT(source), kPreferredModeKey));
    if (!preferred) return std::nullopt;
    for (std::size_t index = 0; index < modes.size(); ++index)
        if (SameMode(modes[index], *preferred)) return index;
    return std::nullopt;
}

}  // namespace flipbook
