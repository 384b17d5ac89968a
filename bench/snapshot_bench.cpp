// What Snap costs the window's thread: under the pictures' lock, the live frame's memory becomes the
// reference picture and the picture handed to the background writer is copied from it, beside one
// frame copy (Memcpy). Between snaps, as between a user's, the frame handler has put a new frame into
// the live frame (not counted).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "app/live_view.h"
#include "frame_sizes.h"
#include "platform/graphics/bitmap.h"
#include "snapshots/snapshot_writer.h"

namespace {

using flipbook::Bitmap;

void SnapWindowThread(benchmark::State& state) {
    Bitmap frame;
    frame.SetSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Bitmap live = frame;
    Bitmap reference;
    flipbook::LiveFrameState liveState = flipbook::LiveFrameState::Fresh;
    std::mutex picturesLock;
    // The writer's own work (encoding, the disk) happens on its thread and is not counted here; as
    // between the snaps of a user, it is done before the next Snap.
    std::mutex doneLock;
    std::condition_variable doneChanged;
    std::int64_t saved = 0;
    flipbook::TSnapshotWriter writer([](const Bitmap&, const std::string& path) { return path; },
                                     [&](const flipbook::SnapshotOutcome&) {
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
            flipbook::SnapLiveFrame(nullptr, live, reference, liveState, picture);
        }
        writer.Save(std::move(picture), "snap.png");
        ++taken;
        state.PauseTiming();
        std::unique_lock lock(doneLock);
        doneChanged.wait(lock, [&] { return saved == taken; });
        live.Assign(frame);
        liveState = flipbook::LiveFrameState::Fresh;
        state.ResumeTiming();
    }
}
BENCHMARK(SnapWindowThread)->Apply(flipbook::bench::FrameSizes)->UseRealTime();

}  // namespace
