// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/graphics/bitmap.h"

namespace flipbook {

// The pictures before the reference that the onion skin lays under it, newest first. They are decoded
// on a thread of their own, so neither the window nor the frames wait for the files, and kept while
// they are wanted: a reference moved by one picture decodes one picture, not four.
class TOnionPictures {
public:
    struct Picture {
        std::shared_ptr<const Bitmap> bitmap;  // 24-bit
        std::uint64_t id = 0;                  // new for each decoding, so the screen fits each once
        std::string path;
        std::string stamp;  // the file's size and time of change when decoded
    };
    using Set = std::vector<Picture>;

    // changed is called on the decoding thread whenever the set changed.
    explicit TOnionPictures(std::function<void()> changed);
    // Waits for the picture being decoded.
    ~TOnionPictures();
    TOnionPictures(const TOnionPictures&) = delete;
    TOnionPictures& operator=(const TOnionPictures&) = delete;

    // The paths wanted now, newest first. Those already held show at once, up to the first that is not;
    // the rest follow when decoded. A file that cannot be read as a picture ends the set there.
    void Want(std::vector<std::string> paths);
    // Any thread: the set ready now.
    std::shared_ptr<const Set> Current() const;

private:
    void Run();
    // Makes the set the current one, unless it is that already.
    void Publish(const Set& set);

    const std::function<void()> changed_;
    mutable std::mutex mutex_;  // guards everything below but the thread
    std::condition_variable wake_;
    std::optional<std::vector<std::string>> wanted_;
    std::shared_ptr<const Set> current_;
    bool stopping_ = false;
    std::uint64_t nextId_ = 1;
    // On the decoding thread only: the pictures that may be wanted again.
    Set cache_;
    std::thread thread_;
};

}  // namespace flipbook
