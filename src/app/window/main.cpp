// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "platform/mediagraph/service.h"

int main(int argc, char** argv) {
    // The media service is entered before anything else and left last.
    flipbook::ComApartment apartment;
    flipbook::TApplication application(argc, argv);
    flipbook::TFormMain formMain;
    formMain.show();
    return application.exec();
}
