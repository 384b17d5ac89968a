// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QApplication>
#include <QString>

class QSocketNotifier;
class QTemporaryDir;

namespace flipbook {

// The application object: sets the program's font and title, keeps Qt's settings (a file dialog's
// history) to the run, and shows any exception that escapes
// an event handler in the desktop's error box, after which the program goes on. SIGTERM, SIGINT and
// SIGHUP (a logout, Ctrl+C, a closed terminal) close the main window as the user does, so the
// pictures still being saved are finished first; the program then ends with its last window.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The application title, which the desktop shows for the program.
    static QString Title();
    static void SetTitle(const QString& title);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    // On the window's thread, after one of the signals arrived.
    void CloseMainWindows();

    std::unique_ptr<QSocketNotifier> signalNotifier_;
    // Where Qt's own dialogs keep their history for this run only: the program stores nothing
    // between runs.
    std::unique_ptr<QTemporaryDir> settingsFolder_;
};

// The font every window of the program uses: the system's sans-serif at 11 pixels, the size the
// window's fixed layout was drawn for.
QFont ProgramFont();

}  // namespace flipbook
