// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/shooting/onion_pictures.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/library/picture_files.h"

namespace flipbook {
namespace {

// Tells a file rewritten under the same name from the one decoded; empty when it cannot be read.
std::string StampOf(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) return {};
    const auto changed = std::filesystem::last_write_time(path, error);
    if (error) return {};
    return std::to_string(size) + "@" + std::to_string(changed.time_since_epoch().count());
}

}  // namespace

TOnionPictures::TOnionPictures(std::function<void()> changed)
    : changed_(std::move(changed)), current_(std::make_shared<const Set>()), thread_([this] { Run(); }) {}

TOnionPictures::~TOnionPictures() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void TOnionPictures::Want(std::vector<std::string> paths) {
    {
        std::lock_guard lock(mutex_);
        wanted_ = std::move(paths);
    }
    wake_.notify_one();
}

std::shared_ptr<const TOnionPictures::Set> TOnionPictures::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void TOnionPictures::Publish(const Set& set) {
    {
        std::lock_guard lock(mutex_);
        const bool same =
            std::equal(set.begin(), set.end(), current_->begin(), current_->end(),
                       [](const Picture& one, const Picture& other) { return one.id == other.id; });
        if (same) return;
        current_ = std::make_shared<const Set>(set);
    }
    if (changed_) changed_();
}

void TOnionPictures::Run() {
    for (;;) {
        std::vector<std::string> paths;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || wanted_; });
            if (stopping_) return;
            paths = std::move(*wanted_);
            wanted_.reset();
        }
        Set set;
        bool superseded = false;
        bool decoding = false;
        for (const std::string& path : paths) {
            const std::string stamp = StampOf(path);
            if (stamp.empty()) break;
            const auto kept = std::find_if(cache_.begin(), cache_.end(), [&](const Picture& picture) {
                return picture.path == path && picture.stamp == stamp;
            });
            if (kept != cache_.end()) {
                set.push_back(*kept);
                continue;
            }
            // The pictures held show while the others are decoded.
            if (!decoding) Publish(set);
            decoding = true;
            auto bitmap = std::make_shared<Bitmap>();
            if (!LoadPicture(bitmap.get(), path) || bitmap->Empty()) break;
            if (bitmap->BitsPerPixel() != 24) bitmap->SetPixelFormat(PixelFormat::Bit24);
            Picture picture{std::move(bitmap), 0, path, stamp};
            {
                std::lock_guard lock(mutex_);
                picture.id = nextId_++;
                superseded = stopping_ || wanted_.has_value();
            }
            set.push_back(std::move(picture));
            // A newer wish decides what is worth the time; what was decoded is kept for it.
            if (superseded) break;
        }
        if (superseded) {
            cache_.push_back(set.back());
            // Enough for a reference stepped through the list, and no more.
            constexpr std::size_t kMostKept = 8;
            if (cache_.size() > kMostKept) cache_.erase(cache_.begin());
            continue;
        }
        cache_ = set;
        Publish(set);
    }
}

}  // namespace flipbook
