#include "app/application.h"

#include <exception>

#include <QFont>
#include <QScreen>

#include "codecs/jpeg/jpeg_image.h"

#include "platform/shell/desktop.h"

namespace flipbook {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("flipbookcam"));
    setFont(ProgramFont());
    SetTitle(QStringLiteral("Flipbook Cam"));
    // JPEG pictures decode to what the screen can show: 8-bit output on a palette screen.
    if (const QScreen* screen = primaryScreen()) SetJPEGDefaultsForScreen(screen->depth(), 1);
}

QString TApplication::Title() {
    return applicationDisplayName();
}

void TApplication::SetTitle(const QString& title) {
    setApplicationDisplayName(title);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        TheDesktop().ShowError(error.what());
    } catch (...) {
        TheDesktop().ShowError("Unknown error");
    }
    return false;
}

QFont ProgramFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

}  // namespace flipbook
