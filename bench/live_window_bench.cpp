// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program's live view: the real main window, shown on Qt's offscreen screen (its painting
// is the same raster work as on a desktop), with the test camera's MJPEG mode at 30 fps and the onion
// skin on at a slider position K over a reference snapped from the camera (the positions that are
// multiples of 5 but not of 25 are the blend's costliest, for their exact halfway cases; 50 is the
// window's start). Reports over 10 s the frames grabbed and painted per second, the
// process's share of one core (all its threads) and its processor time per grabbed frame. The test
// camera makes its few frames before the stream starts and then only hands them out again, as a
// webcam's compression costs the computer nothing. Also how long the first live picture takes to reach
// the screen after the window is shown.
#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../tests/support/fake_desktop.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/graphics/canvas.h"
#include "platform/mediagraph/service.h"
#include "process_time.h"
#include "test_camera.h"

namespace flipbook {
namespace {

using bench::ProcessCpuSeconds;

// A home and XDG folders of the run's own, so the window neither reads nor writes the user's.
class ScratchHome {
public:
    ScratchHome() {
        char pattern[] = "/tmp/flipbookcam-bench-XXXXXX";
        if (mkdtemp(pattern)) folder_ = pattern;
        for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            setenv(variable, folder_.c_str(), 1);
    }
    ~ScratchHome() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

private:
    std::string folder_;
};

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QObject* image) : image_(image) { image->installEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == image_ && event->type() == QEvent::Paint) ++painted;
        return false;
    }
    int painted = 0;

private:
    QObject* image_;
};

void RunEvents(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void LiveWindow(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const auto position = static_cast<int>(state.range(2));
    ScratchHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::PrepareTestCamera();
    testing::SetTestCameras("Bench Camera:" + std::to_string(width) + "x" + std::to_string(height) +
                            "@30:smpte:mjpeg:loop=4");
    ComApartment apartment;
    int argc = 1;
    char name[] = "flipbookcam-bench";
    char* argv[] = {name, nullptr};
    TApplication application(argc, argv);
    testing::FakeDesktop desktop;
    auto form = std::make_unique<TFormMain>();
    std::atomic<int> grabbed{0};
    form->fwSampleGrabber->OnBuffer = [handler = form->fwSampleGrabber->OnBuffer, &grabbed](
                                          TSampleGrabber& sender, double time, const std::uint8_t* buffer,
                                          std::uint32_t length) {
        handler(sender, time, buffer, length);
        ++grabbed;
    };
    PaintCounter paints(form->imGrabSample);
    form->pcMain->setCurrentWidget(form->tsMainGrab);
    form->ckGrabOnion->setChecked(true);
    form->tbGrabOnion->setValue(position);
    form->show();
    for (int waited = 0; grabbed < 30 && waited < 30'000; waited += 100) RunEvents(100);
    // The reference is the camera's latest frame, as Snap takes it (the live frame stays empty for a
    // compressed camera, whose frames are converted straight into the display).
    Bitmap snapped = form->LatestFrame();
    if (grabbed < 30 || snapped.Empty()) {
        state.SkipWithError("the camera delivered no frames");
        return;
    }
    form->WithPictures([&](Bitmap&, Bitmap& reference) { reference = std::move(snapped); });
    // The first frames blended over the reference, before the figures are taken.
    RunEvents(1000);

    constexpr int kSeconds = 10;
    for (auto _ : state) {
        const int grabbedBefore = grabbed;
        const int paintedBefore = paints.painted;
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        RunEvents(kSeconds * 1000);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["grabbed_per_s"] = (grabbed - grabbedBefore) / seconds;
        state.counters["painted_per_s"] = (paints.painted - paintedBefore) / seconds;
        const double cpuSeconds = ProcessCpuSeconds() - cpuBefore;
        state.counters["core_percent"] = 100.0 * cpuSeconds / seconds;
        // On a machine too busy to give the process all it asks for, fewer frames come; the cost of
        // each still tells what the full rate would take.
        state.counters["cpu_ms_per_frame"] = 1000.0 * cpuSeconds / std::max(grabbed - grabbedBefore, 1);
        state.SetIterationTime(seconds);
    }
    form->close();
    form.reset();
}
BENCHMARK(LiveWindow)
    ->Name("LiveWindow/mjpeg")
    ->ArgNames({"W", "H", "K"})
    ->Args({1920, 1080, 10})
    ->Args({1920, 1080, 50})
    ->Args({3840, 2160, 10})
    ->Args({3840, 2160, 50})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// Notes how long after its start the image control first paints a picture.
class FirstPaintWatch : public QObject {
public:
    explicit FirstPaintWatch(TImage* image) : image_(image) {
        timer_.start();
        image->installEventFilter(this);
    }
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == image_ && event->type() == QEvent::Paint && paintedAt < 0) {
            std::lock_guard lock(image_->Picture().GetCanvas());
            if (!image_->Picture().Empty()) paintedAt = timer_.nsecsElapsed();
        }
        return false;
    }
    qint64 paintedAt = -1;

private:
    TImage* image_;
    QElapsedTimer timer_;
};

// How long the first live picture of a 1080p webcam (the window takes its 1920 x 1080 MJPEG mode)
// takes to reach the screen after the window is shown: device list, graph, camera start, first frame
// decoded and painted. One window is shown first and closed again, so GStreamer's start-up is not
// counted; each iteration is a new window.
void LiveWindowFirstFrame(benchmark::State& state) {
    ScratchHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::PrepareTestCamera();
    testing::SetTestCameras("HD Webcam:webcam1080");
    ComApartment apartment;
    int argc = 1;
    char name[] = "flipbookcam-bench";
    char* argv[] = {name, nullptr};
    TApplication application(argc, argv);
    testing::FakeDesktop desktop;
    const auto firstPaint = [] {
        auto form = std::make_unique<TFormMain>();
        form->pcMain->setCurrentWidget(form->tsMainGrab);
        FirstPaintWatch watch(form->imGrabSample);
        form->show();
        for (int waited = 0; watch.paintedAt < 0 && waited < 30'000; ++waited) RunEvents(1);
        const qint64 painted = watch.paintedAt;
        form->close();
        return painted;
    };
    if (firstPaint() < 0) {
        state.SkipWithError("the camera delivered no frames");
        return;
    }
    for (auto _ : state) {
        const qint64 painted = firstPaint();
        if (painted < 0) {
            state.SkipWithError("the camera delivered no frames");
            break;
        }
        state.SetIterationTime(static_cast<double>(painted) / 1e9);
    }
}
BENCHMARK(LiveWindowFirstFrame)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace flipbook
