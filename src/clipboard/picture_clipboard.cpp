// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboard/picture_clipboard.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <memory>

#include "codecs/png/png_object.h"
#include "platform/graphics/stream.h"

namespace flipbook {

void CopyToClipboard(const TPNGObject& picture) {
    MemoryStream png;
    picture.SaveToClipboardFormat(png);
    const auto& bytes = png.Bytes();
    auto data = std::make_unique<QMimeData>();
    data->setData(
        QString::fromLatin1(kPictureClipboardMimeType),
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    // The clipboard takes ownership of the data.
    QGuiApplication::clipboard()->setMimeData(data.release());
}

bool PasteFromClipboard(TPNGObject& picture) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const QString format = QString::fromLatin1(kPictureClipboardMimeType);
    if (data == nullptr || !data->hasFormat(format)) return false;
    const QByteArray bytes = data->data(format);
    ReadOnlyMemoryStream png(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    picture.LoadFromClipboardFormat(png);
    return true;
}

}  // namespace flipbook
