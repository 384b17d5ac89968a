#include "app/picture_files.h"

#include <algorithm>

#include "codecs/bmp/bmp_file.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/shell/desktop.h"

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

bool SavePicture(const Bitmap* source, const std::string& path) {
    const std::string extension = UpperCaseExtension(path);
    if (extension.empty() || source == nullptr) return false;
    try {
        ScopedBusyCursor busy;
        switch (KindOf(extension)) {
            case PictureFileKind::Png: {
                TPNGObject png;
                png.AssignFromBitmap(*source);
                png.SaveToFile(path);
                break;
            }
            case PictureFileKind::Jpeg: {
                TJPEGImage jpeg;
                jpeg.AssignFromBitmap(*source);
                jpeg.SaveToFile(path);
                break;
            }
            case PictureFileKind::Bmp:
                SaveBmpFile(*source, path);
                break;
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace flipbook
