// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include <QString>
#include <QTest>
#include <QWidget>

namespace flipbook::testing {

// For the screenshot programs: lets the widget paint, then writes its picture to path; false (and a
// line on stderr) when the file cannot be written.
inline bool SaveGrab(QWidget& widget, const QString& path) {
    QTest::qWait(300);
    if (widget.grab().save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace flipbook::testing
