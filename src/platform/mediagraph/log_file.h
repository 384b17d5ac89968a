// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gst/gst.h>

#include <cstdint>

#include "platform/com/hresult.h"

namespace flipbook {

// Sends the GStreamer debug log of one pipeline (the pipeline and everything in it) to a duplicate of
// the descriptor; 0 switches that pipeline's log off. Other pipelines' messages never reach the file.
// While any pipeline logs, the normal debug output on stderr carries on as before. E_INVALIDARG for a
// descriptor that cannot be written.
HRESULT SetDebugLogFile(GstElement* pipeline, std::intptr_t file);

}  // namespace flipbook
