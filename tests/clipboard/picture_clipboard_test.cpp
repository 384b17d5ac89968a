// SPDX-License-Identifier: GPL-3.0-or-later
#include "clipboard/picture_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QTest>

#include "codecs/png/png_object.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"

namespace flipbook {

class PictureClipboardTest : public QObject {
    Q_OBJECT

private slots:
    void CopyThenPaste_GivesThePictureThroughThePngFormat() {
        Bitmap bitmap;
        bitmap.SetSize(3, 2);
        bitmap.GetCanvas().SetPixel(1, 0, Rgb{200, 30, 40});
        bitmap.GetCanvas().SetPixel(2, 1, Rgb{0, 90, 250});
        TPNGObject copied;
        copied.AssignFromBitmap(bitmap);
        CopyToClipboard(copied);

        // Any other program reads the clipboard's PNG as the same picture.
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data != nullptr);
        QVERIFY(data->hasFormat(QStringLiteral("image/png")));
        const QImage image = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
        QCOMPARE(image.size(), QSize(3, 2));
        QCOMPARE(image.pixel(1, 0), qRgb(200, 30, 40));

        TPNGObject pasted;
        QVERIFY(PasteFromClipboard(pasted));
        QCOMPARE(pasted.Width(), 3);
        QCOMPARE(pasted.Height(), 2);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 3; ++x) QVERIFY(pasted.Pixel(x, y) == bitmap.PixelColor(x, y));
        }
    }

    void Paste_WithoutAPngOnTheClipboard_LeavesThePicture() {
        QGuiApplication::clipboard()->setText(QStringLiteral("not a picture"));
        Bitmap bitmap;
        bitmap.SetSize(2, 2);
        TPNGObject picture;
        picture.AssignFromBitmap(bitmap);
        QVERIFY(!PasteFromClipboard(picture));
        QCOMPARE(picture.Width(), 2);
    }
};

}  // namespace flipbook

QTEST_MAIN(flipbook::PictureClipboardTest)
#include "picture_clipboard_test.moc"
