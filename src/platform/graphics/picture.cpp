// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/graphics/picture.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "platform/graphics/stream.h"

namespace flipbook {

namespace {

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<PictureFormat>& Registry() {
    static std::vector<PictureFormat> formats;
    return formats;
}

}  // namespace

void Picture::LoadFromFile(const std::string& path) {
    FileStream stream(path, FileMode::Read);
    LoadFromStream(stream);
}

void Picture::SaveToFile(const std::string& path) const {
    SaveThroughFile(path, [this](Stream& stream) { SaveToStream(stream); });
}

void RegisterPictureFormat(const PictureFormat& format) {
    PictureFormat entry = format;
    if (!entry.extension.empty() && entry.extension.front() == '.') entry.extension.erase(0, 1);
    std::transform(entry.extension.begin(), entry.extension.end(), entry.extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::lock_guard lock(RegistryMutex());
    auto& formats = Registry();
    const bool known = std::any_of(formats.begin(), formats.end(),
                                   [&](const PictureFormat& f) { return f.extension == entry.extension; });
    if (!known) formats.push_back(std::move(entry));
}

const std::vector<PictureFormat>& RegisteredPictureFormats() {
    const std::lock_guard lock(RegistryMutex());
    return Registry();
}

}  // namespace flipbook
