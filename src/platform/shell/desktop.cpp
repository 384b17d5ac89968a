// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/desktop.h"

#include <atomic>

#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include "platform/shell/sound.h"

namespace flipbook {
namespace {

QString ToQString(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The desktop services on Qt: the application's beep, the desktop's URL handler, the override
// cursor and modal message boxes.
class QtDesktop final : public Desktop {
public:
    void Beep() override { QApplication::beep(); }

    void PlaySound(const std::filesystem::path& waveFile) override { PlaySoundAsync(waveFile); }

    bool OpenUrl(const std::string& address) override {
        const QUrl url(ToQString(address), QUrl::TolerantMode);
        return url.isValid() && !url.isEmpty() && QDesktopServices::openUrl(url);
    }

    Cursor ScreenCursor() const override { return cursor_; }

    void SetScreenCursor(Cursor cursor) override {
        if (cursor == cursor_) return;
        // The override cursor stacks; keep exactly one of ours on the stack while busy.
        if (cursor == Cursor::Busy) {
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QGuiApplication::restoreOverrideCursor();
        }
        cursor_ = cursor;
    }

    bool Ask(const std::string& caption, const std::string& question) override {
        return QMessageBox::question(nullptr, ToQString(caption), ToQString(question),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    }

    void ShowError(const std::string& message) override {
        QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), ToQString(message),
                        QMessageBox::Ok);
        box.setObjectName(QStringLiteral("dlgError"));
        // What an error names (a file, an address) can be copied from it.
        box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        box.exec();
    }

private:
    Cursor cursor_ = Cursor::Default;
};

std::atomic<Desktop*> installedDesktop{nullptr};

}  // namespace

Desktop& TheDesktop() {
    if (Desktop* installed = installedDesktop.load()) return *installed;
    static QtDesktop qtDesktop;
    return qtDesktop;
}

Desktop* InstallDesktop(Desktop* desktop) {
    return installedDesktop.exchange(desktop);
}

}  // namespace flipbook
