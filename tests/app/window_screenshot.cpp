// SPDX-License-Identifier: GPL-3.0-or-later
// Saves pictures of the main window's two tabs, for the documentation:
//   window_screenshot <folder>   writes <folder>/help-tab.png and <folder>/record-tab.png
// It runs beside the program, so the window shows the read-me that ships with it. Run it under a
// display, for example xvfb-run -a.

#include <cstdio>

#include <QDir>
#include <QTabWidget>
#include <QTest>

#include "app/window/application.h"
#include "app/window/fmMain.h"

namespace {

bool Save(flipbook::TFormMain& form, QWidget* page, const QString& path) {
    form.pcMain->setCurrentWidget(page);
    QTest::qWait(200);  // let the page paint
    if (form.grab().save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    flipbook::TApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_screenshot <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    flipbook::TFormMain form;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    const bool saved = Save(form, form.tsMainHelp, folder.filePath(QStringLiteral("help-tab.png"))) &&
                       Save(form, form.tsMainGrab, folder.filePath(QStringLiteral("record-tab.png")));
    return saved ? 0 : 1;
}
