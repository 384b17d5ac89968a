// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The entry of a test program that drives the real main window over the test camera: the camera's
// plugin prepared before anything asks for devices, the media service and the application made in
// the order the program itself makes them.

#include <QTest>

#include <cstdlib>
#include <filesystem>

#include "app/window/application.h"
#include "platform/mediagraph/service.h"
#include "support/temp_dir.h"
#include "test_camera.h"

#define FLIPBOOK_WINDOW_TEST_MAIN(TestClass)            \
    int main(int argc, char** argv) {                   \
        flipbook::testing::PrepareTestCamera();         \
        flipbook::ComApartment apartment;               \
        flipbook::TApplication application(argc, argv); \
        TestClass test;                                 \
        return QTest::qExec(&test, argc, argv);         \
    }

// The same, with a home and a trash of the test's own: the desktop library reads these folders once,
// so they are set before anything of it runs.
#define FLIPBOOK_WINDOW_TEST_MAIN_WITH_OWN_TRASH(TestClass) \
    int main(int argc, char** argv) {                       \
        flipbook::testing::TempDir home;                    \
        const auto data = home.Path() / ".local" / "share"; \
        std::filesystem::create_directories(data);          \
        setenv("HOME", home.Path().c_str(), 1);             \
        setenv("XDG_DATA_HOME", data.c_str(), 1);           \
        flipbook::testing::PrepareTestCamera();             \
        flipbook::ComApartment apartment;                   \
        flipbook::TApplication application(argc, argv);     \
        TestClass test;                                     \
        return QTest::qExec(&test, argc, argv);             \
    }
