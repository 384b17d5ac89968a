// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

namespace flipbook {

// Watches video input devices being plugged in and pulled out while it lives. Changed runs after
// each change, on a thread of the media framework (never the caller's): hand it on to the thread
// that should act. Once the watch is destroyed, changed is not called again.
class VideoDeviceWatch {
public:
    explicit VideoDeviceWatch(std::function<void()> changed);
    ~VideoDeviceWatch();
    VideoDeviceWatch(const VideoDeviceWatch&) = delete;
    VideoDeviceWatch& operator=(const VideoDeviceWatch&) = delete;

    struct State;  // shared with the framework's thread, which may still be in a call as the watch goes

private:
    std::shared_ptr<State> state_;
};

}  // namespace flipbook
