#include "platform/mediagraph/capture_mode.h"

#include <tuple>

namespace flipbook {

std::optional<std::size_t> ChooseCaptureMode(const std::vector<CaptureMode>& modes) {
    // Live first, then size, then rate, then raw: one ordering settles both the live case and the
    // fallback, since without a live mode the largest size comes first anyway.
    auto rank = [](const CaptureMode& mode) {
        return std::make_tuple(mode.FramesPerSecond() >= kLiveFramesPerSecond, mode.Area(),
                               mode.FramesPerSecond(), !mode.compressed);
    };
    std::optional<std::size_t> best;
    for (std::size_t index = 0; index < modes.size(); ++index)
        if (!best || rank(modes[index]) > rank(modes[*best])) best = index;
    return best;
}

}  // namespace flipbook
