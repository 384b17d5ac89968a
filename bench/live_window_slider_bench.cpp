// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program's live view with the onion skin at a slider position K over a reference snapped
// from the camera: the real main window on Qt's offscreen screen, the test camera's MJPEG mode at
// 30 fps. Reports over 10 s the frames grabbed and painted per second, the process's share of one core
// (all its threads) and its processor time per grabbed frame. The positions that are multiples of 5
// but not of 25 are the blend's costliest (their exact halfway cases); 50 is the one the window starts
// with.
#include <benchmark/benchmark.h>

#include <QCheckBox>
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
#include <string>

#include "../tests/support/fake_desktop.h"
#include "app/window/application.h"
#include "app/window/fmMain.h"
#include "app/window/image.h"
#include "capture/sample_grabber.h"
#include "platform/graphics/bitmap.h"
#include "platform/mediagraph/service.h"
#include "process_time.h"
#include "test_camera.h"

namespace flipbook {
namespace {

using bench::ProcessCpuSeconds;

// A home and XDG folders of the run's own, so the window neither reads nor writes the user's.
class SliderScratchHome {
public:
    SliderScratchHome() {
        char pattern[] = "/tmp/flipbookcam-bench-XXXXXX";
        if (mkdtemp(pattern)) folder_ = pattern;
        for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            setenv(variable, folder_.c_str(), 1);
    }
    ~SliderScratchHome() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    SliderScratchHome(const SliderScratchHome&) = delete;
    SliderScratchHome& operator=(const SliderScratchHome&) = delete;

private:
    std::string folder_;
};

class Paints : public QObject {
public:
    explicit Paints(QObject* image) : image_(image) { image->installEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == image_ && event->type() == QEvent::Paint) ++count;
        return false;
    }
    int count = 0;

private:
    QObject* image_;
};

void RunEventsFor(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void LiveWindowSlider(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    const auto position = static_cast<int>(state.range(2));
    SliderScratchHome home;
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
    Paints paints(form->imGrabSample);
    form->pcMain->setCurrentWidget(form->tsMainGrab);
    form->ckGrabOnion->setChecked(true);
    form->tbGrabOnion->setValue(position);
    form->show();
    for (int waited = 0; grabbed < 30 && waited < 30'000; waited += 100) RunEventsFor(100);
    // The reference is the camera's latest frame, as Snap takes it.
    Bitmap snapped = form->LatestFrame();
    if (grabbed < 30 || snapped.Empty()) {
        state.SkipWithError("the camera delivered no frames");
        return;
    }
    form->WithPictures([&](Bitmap&, Bitmap& reference) { reference = std::move(snapped); });
    // The first frames blended over the reference, before the figures are taken.
    RunEventsFor(1000);

    constexpr int kSeconds = 10;
    for (auto _ : state) {
        const int grabbedBefore = grabbed;
        const int paintedBefore = paints.count;
        const double cpuBefore = ProcessCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        RunEventsFor(kSeconds * 1000);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["grabbed_per_s"] = (grabbed - grabbedBefore) / seconds;
        state.counters["painted_per_s"] = (paints.count - paintedBefore) / seconds;
        const double cpuSeconds = ProcessCpuSeconds() - cpuBefore;
        state.counters["core_percent"] = 100.0 * cpuSeconds / seconds;
        state.counters["cpu_ms_per_frame"] = 1000.0 * cpuSeconds / std::max(grabbed - grabbedBefore, 1);
        state.SetIterationTime(seconds);
    }
    form->close();
    form.reset();
}
BENCHMARK(LiveWindowSlider)
    ->Name("LiveWindow/mjpeg")
    ->ArgNames({"W", "H", "K"})
    ->Args({1920, 1080, 10})
    ->Args({1920, 1080, 50})
    ->Args({3840, 2160, 10})
    ->Args({3840, 2160, 50})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
}  // namespace flipbook
