#pragma once

#include <cstdint>

#include "platform/com/hresult.h"

namespace flipbook {

// Sends the process's GStreamer debug log to a duplicate of the descriptor (0 switches it off and
// gives the normal debug output back). E_INVALIDARG for a descriptor that cannot be written.
HRESULT SetDebugLogFile(std::intptr_t file);

}  // namespace flipbook
