// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <vector>

#include "platform/mediagraph/capture_mode.h"
#include "platform/mediagraph/filters.h"

typedef struct _GstElement GstElement;

namespace flipbook {

// The modes a bound source filter offers, in its order (what ChooseCaptureMode chooses from); empty
// for a filter that is no source of this service.
std::vector<CaptureMode> OfferedCaptureModes(IBaseFilter* source);

// Asks the capture graph builder to connect this source in the mode given instead of the one the
// rule picks, when the source offers it. Holds for this bound source only: a new bind forgets it.
void PreferCaptureMode(IBaseFilter* source, const CaptureMode& mode);

// For the builder: the index in modes of the mode asked for on this element, if any was and it is
// there.
std::optional<std::size_t> PreferredModeIndex(GstElement* source, const std::vector<CaptureMode>& modes);

}  // namespace flipbook
