// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The entry of a test program that drives the real main window over the test camera: the camera's
// plugin prepared before anything asks for devices, the media service and the application made in
// the order the program itself makes them.

#include <QTest>

#include "app/window/application.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

#define FLIPBOOK_WINDOW_TEST_MAIN(TestClass)            \
    int main(int argc, char** argv) {                   \
        flipbook::testing::PrepareTestCamera();         \
        flipbook::ComApartment apartment;               \
        flipbook::TApplication application(argc, argv); \
        TestClass test;                                 \
        return QTest::qExec(&test, argc, argv);         \
    }
