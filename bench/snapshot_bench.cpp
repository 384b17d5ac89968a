// SPDX-License-Identifier: GPL-3.0-or-later
// What Snap costs the window's thread: under the pictures' lock, the grabber's kept frame is copied into
// the reference picture, and the picture handed to the background writer shares that memory; beside one
// frame copy (Memcpy). The writer's own work (encoding, the disk) happens on its thread and is not
// counted; as between a user's snaps, it is done before the next Snap, and a new frame has come.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/camera/live_view.h"
#include "frame_sizes.h"
#include "kept_frame_grabber.h"
#include "platform/graphics/bitmap.h"
#include "snapshots/snapshot_writer.h"

namespace flipbook {
namespace {

void SnapWindowThread(benchmark::State& state) {
    const auto width = static_cast<int>(state.range(0));
    const auto height = static_cast<int>(state.range(1));
    bench::KeptFrameGrabber kept(width, height, 7);
    Bitmap live;
    Bitmap reference;
    LiveFrameState liveState = LiveFrameState::Fresh;
    std::mutex picturesLock;
    std::mutex doneLock;
    std::condition_variable doneChanged;
    std::int64_t saved = 0;
    TSnapshotWriter writer([](const Bitmap&, const std::string& path) { return path; },
                           [&](const SnapshotOutcome&) {
                               std::lock_guard lock(doneLock);
                               ++saved;
                               doneChanged.notify_all();
                           },
                           std::size_t{256} << 20);
    std::int64_t taken = 0;
    for (auto _ : state) {
        Bitmap picture = writer.SparePicture();
        {
            std::lock_guard lock(picturesLock);
            SnapLiveFrame(&kept.grabber, live, reference, liveState, picture);
        }
        writer.Save(std::move(picture), "snap.png");
        ++taken;
        state.PauseTiming();
        std::unique_lock lock(doneLock);
        doneChanged.wait(lock, [&] { return saved == taken; });
        liveState = LiveFrameState::Fresh;
        state.ResumeTiming();
    }
    if (reference.Width() != width) state.SkipWithError("nothing was snapped");
}
// The window's thread's own processor time, like its anchor's: in real time, whatever else the machine
// ran while the thread copied (another build, the writer's wake-up on a busy core) counted as Snap's,
// and the ratio to the copy went from 1.2 to 2 between runs of the same code.
BENCHMARK(SnapWindowThread)->Apply(bench::FrameSizes);

}  // namespace
}  // namespace flipbook
