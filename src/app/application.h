#pragma once

#include <QApplication>
#include <QString>

namespace flipbook {

// The application object: sets the program's font and title, and shows any exception that escapes
// an event handler in the desktop's error box, after which the program goes on.
class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    // The application title, which the desktop shows for the program.
    static QString Title();
    static void SetTitle(const QString& title);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The font every window of the program uses: the system's sans-serif at 11 pixels, the size the
// window's fixed layout was drawn for.
QFont ProgramFont();

}  // namespace flipbook
