// What Snap costs the window's thread: the live frame copied into the reference picture and into the
// picture handed to the background writer, under the pictures' lock, beside one frame copy (Memcpy).
#include <benchmark/benchmark.h>

#include <mutex>
#include <string>

#include "frame_sizes.h"
#include "platform/graphics/bitmap.h"
#include "snapshots/snapshot_writer.h"

namespace {

using flipbook::Bitmap;

void SnapWindowThread(benchmark::State& state) {
    Bitmap live;
    live.SetSize(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    Bitmap reference;
    std::mutex picturesLock;
    // The writer's own work (encoding, the disk) happens on its thread and is not counted here.
    flipbook::TSnapshotWriter writer([](const Bitmap&, const std::string&) {},
                                     [](const flipbook::SnapshotOutcome&) {}, std::size_t{256} << 20);
    for (auto _ : state) {
        Bitmap picture = [&] {
            std::lock_guard lock(picturesLock);
            reference.Assign(live);
            return Bitmap(live);
        }();
        writer.Save(std::move(picture), "snap.png");
    }
}
BENCHMARK(SnapWindowThread)->Apply(flipbook::bench::FrameSizes)->UseRealTime();

}  // namespace
