// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window shown and turned to its "Record" tab, as a user starts a shoot.

#include <QTest>

#include "app/window/fmMain.h"

namespace flipbook::testing {

// Whether the window must also be the active one: keys reach the tab's shortcuts only there, as on a
// desktop.
enum class Activation { Shown, Active };

// False when the window was not shown (or made active) in time.
inline bool ShowOnRecordTab(TFormMain& form, Activation activation = Activation::Shown) {
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    if (activation == Activation::Active) {
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form)) return false;
    }
    form.pcMain->setCurrentWidget(form.tsMainGrab);
    return true;
}

}  // namespace flipbook::testing
