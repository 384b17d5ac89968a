// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/picture_files.h"

#include <algorithm>
#include <utility>

#include "app/library/snapshot_folder.h"
#include "codecs/bmp/bmp_file.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "platform/files/safe_file.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/stream.h"
#include "platform/shell/desktop.h"
#include "snapshots/snapshot_writer.h"

namespace flipbook {

namespace {

enum class PictureFileKind { Png, Jpeg, Bmp };

PictureFileKind KindOf(const std::string& upperCaseExtension) {
    if (upperCaseExtension == ".PNG") return PictureFileKind::Png;
    if (upperCaseExtension == ".JPG") return PictureFileKind::Jpeg;
    return PictureFileKind::Bmp;
}

}  // namespace

std::string UpperCaseExtension(const std::string& path) {
    const auto nameStart = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) return {};
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return extension;
}

bool LoadPicture(Bitmap* target, const std::string& path) {
    const std::string extension = UpperCaseExtension(path);
    if (extension.empty() || target == nullptr) return false;
    try {
        switch (KindOf(extension)) {
            case PictureFileKind::Png: {
                TPNGObject png;
                png.LoadFromFile(path);
                target->Assign(png);
                break;
            }
            case PictureFileKind::Jpeg: {
                TJPEGImage jpeg;
                jpeg.LoadFromFile(path);
                target->Assign(jpeg);
                break;
            }
            case PictureFileKind::Bmp:
                LoadBmpFile(*target, path);
                break;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::uint8_t> EncodePicture(const Bitmap& source, const std::string& path) {
    MemoryStream encoded;
    switch (KindOf(UpperCaseExtension(path))) {
        case PictureFileKind::Png: {
            TPNGObject png;
            png.AssignFromBitmap(source);
            png.SaveToStream(encoded);
            break;
        }
        case PictureFileKind::Jpeg: {
            TJPEGImage jpeg;
            jpeg.AssignFromBitmap(source);
            jpeg.SaveToStream(encoded);
            break;
        }
        case PictureFileKind::Bmp:
            SaveBmpStream(source, encoded);
            break;
    }
    return encoded.TakeBytes();
}

SavedPicture SavePictureFile(const Bitmap& source, const std::string& path) {
    const std::vector<std::uint8_t> bytes = EncodePicture(source, path);
    WrittenFile written = WriteNewFile(path, bytes.data(), bytes.size(), [](const std::string& taken) {
        const std::string name = taken.substr(taken.find_last_of('/') + 1);
        const std::string next = NextSnapshotName(name);
        return next.empty() ? next : taken.substr(0, taken.size() - name.size()) + next;
    });
    return {std::move(written.path), std::move(written.folderNotFlushed)};
}

bool SavePicture(const Bitmap* source, const std::string& path) {
    const std::string extension = UpperCaseExtension(path);
    if (extension.empty() || source == nullptr) return false;
    try {
        ScopedBusyCursor busy;
        const std::vector<std::uint8_t> bytes = EncodePicture(*source, path);
        ReplaceFile(path, bytes.data(), bytes.size());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace flipbook
