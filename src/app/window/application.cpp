// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/application.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <exception>

#include <QFont>
#include <QScreen>
#include <QSettings>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QWidget>

#include "codecs/jpeg/jpeg_image.h"

#include "platform/shell/desktop.h"

namespace flipbook {

namespace {

constexpr std::array kEndingSignals = {SIGTERM, SIGINT, SIGHUP};

// The self-pipe: a signal handler may do next to nothing, so it only writes a byte here, and the
// window's thread reads it through a socket notifier. Process-wide, as signal handlers are.
int signalPipe[2] = {-1, -1};

void NoteEndingSignal(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a note that has not been read, which is all that matters.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("flipbookcam"));
    // Lets a Wayland dock match the window to the installed desktop entry and its icon.
    setDesktopFileName(QStringLiteral("org.example.flipbookcam"));
    setFont(ProgramFont());
    SetTitle(QStringLiteral("Flipbook Cam"));
    settingsFolder_ = std::make_unique<QTemporaryDir>();
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(
            format, QSettings::UserScope,
            settingsFolder_->isValid() ? settingsFolder_->path() : QStringLiteral("/dev/null"));
    // JPEG pictures decode to what the screen can show: 8-bit output on a palette screen.
    if (const QScreen* screen = primaryScreen()) SetJPEGDefaultsForScreen(screen->depth(), 1);

    // Without the pipe the signals keep their default action, which ends the program at once.
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        CloseMainWindows();
    });
    struct sigaction action {};
    action.sa_handler = NoteEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : kEndingSignals) sigaction(signalNumber, &action, nullptr);
}

TApplication::~TApplication() {
    if (!signalNotifier_) return;
    // Back to the default action before the pipe the handler writes to is closed.
    for (const int signalNumber : kEndingSignals) std::signal(signalNumber, SIG_DFL);
    signalNotifier_.reset();
    ::close(signalPipe[0]);
    ::close(signalPipe[1]);
    signalPipe[0] = signalPipe[1] = -1;
}

void TApplication::CloseMainWindows() {
    // Only the windows of their own: a dialog closes with its window, and closing the progress dialog
    // of a close already under way would ask to quit without saving. A window that is already
    // closing ignores the second close; the program ends when the last window has gone.
    for (QWidget* window : topLevelWidgets()) {
        if (!window->parentWidget() && window->isVisible()) window->close();
    }
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
