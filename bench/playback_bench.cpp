// SPDX-License-Identifier: GPL-3.0-or-later
// Playback and export at camera size, from the 1920 x 1080 photograph saved as the program saves its
// pictures (our PNG encoder, our JPEG adapter at quality 90):
//   PlaybackDecode/FORMAT/threads:N   one frame taken from decoding ahead with N workers, in steady state
//                                     (beside PngDecode or JpegDecode of the photograph: one decode alone)
//   ExportH264/W:1920/H:1080          one frame written to an H.264 video in MP4 (fps counter)
//   PlaybackSeries/png/frames:200/fps:24  200 pictures played at 24 a second as the window plays them:
//                                     late frames (none when smooth), the cache's and the process' peak
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/library/picture_files.h"
#include "codecs/jpeg/jpeg_image.h"
#include "codecs/png/png_object.h"
#include "export/video_writer.h"
#include "platform/graphics/bitmap.h"
#include "playback/player.h"

namespace {

const char* const kPhoto = "raindrops-on-grass-1920x1080.png";

// The photograph, once.
const flipbook::Bitmap& Photo() {
    static const flipbook::Bitmap photo = [] {
        flipbook::Bitmap bitmap;
        flipbook::LoadPicture(&bitmap, std::string(FLIPBOOK_CORPUS_DIR) + "/photos/" + kPhoto);
        return bitmap;
    }();
    return photo;
}

// The photograph saved by our codecs in a folder of its own, as "photo.png" or "photo.jpg".
std::string SavedPhoto(const std::string& extension) {
    static const std::filesystem::path folder = [] {
        std::filesystem::path made =
            std::filesystem::temp_directory_path() / ("flipbookcam-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(made);
        return made;
    }();
    const std::filesystem::path path = folder / ("photo" + extension);
    if (!std::filesystem::exists(path)) {
        if (extension == ".png") {
            flipbook::TPNGObject png;
            png.AssignFromBitmap(Photo());
            png.SaveToFile(path.string());
        } else {
            flipbook::TJPEGImage jpeg;
            jpeg.AssignFromBitmap(Photo());
            jpeg.SaveToFile(path.string());
        }
    }
    return path.string();
}

bool Load(flipbook::Bitmap& target, const std::string& path) {
    return flipbook::LoadPicture(&target, path);
}

void PlaybackDecode(benchmark::State& state, const std::string& extension) {
    flipbook::DecodeAheadSettings settings;
    settings.threads = static_cast<int>(state.range(0));
    flipbook::TDecodeAhead ahead({SavedPhoto(extension)}, Load, true, settings);
    // Fill the cache first, so the figure is the workers' pace and not a head start.
    ahead.Take(0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    for (std::uint64_t position = 1; position < settings.maxFrames; ++position) ahead.Take(position);
    std::uint64_t position = settings.maxFrames;
    for (auto _ : state) benchmark::DoNotOptimize(ahead.Take(position++)->Pixels());
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Each frame moves the photograph on by a few pixels, as a pan would, so the encoder has motion to code.
void ExportH264(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    std::vector<flipbook::Bitmap> frames(8);
    for (std::size_t index = 0; index < frames.size(); ++index) {
        frames[index].SetSize(width, height);
        const int shift = static_cast<int>(index) * 4;
        for (int row = 0; row < height; ++row)
            std::copy_n(Photo().ScanLine(row % Photo().Height()) + shift * 3, (width - shift) * 3,
                        frames[index].ScanLine(row));
    }
    const std::filesystem::path output =
        std::filesystem::path(SavedPhoto(".png")).parent_path() / "export.mp4";
    flipbook::TVideoWriter writer(output, flipbook::VideoFormat::Mp4H264, 24, width, height);
    std::size_t frame = 0;
    for (auto _ : state) writer.Write(frames[frame++ % frames.size()]);
    writer.Finish();
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

long PeakResidentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

void PlaybackSeries(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const int rate = static_cast<int>(state.range(1));
    const std::vector<std::string> series(static_cast<std::size_t>(count), SavedPhoto(".png"));
    // The peak so far is forgotten, so the figure is this play's.
    std::ofstream("/proc/self/clear_refs") << "5";
    for (auto _ : state) {
        std::atomic<bool> ended{false};
        std::atomic<int> shown{0};
        flipbook::DecodeAheadSettings decoding;
        decoding.threads = 2;
        flipbook::TPlayer player(
            series, Load, {rate, false, false}, decoding,
            [&shown](const flipbook::Bitmap* picture) {
                if (picture && !picture->Empty()) ++shown;
            },
            [&ended] { ended = true; });
        while (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        player.Stop();
        state.counters["shown"] = shown.load();
        state.counters["late_frames"] = static_cast<double>(player.LateFrames());
        state.counters["cache_peak_MB"] = static_cast<double>(player.PeakCacheBytes()) / (1 << 20);
    }
    state.counters["process_peak_MB"] = static_cast<double>(PeakResidentKilobytes()) / 1024;
}

const int registered = [] {
    for (const char* format : {"png", "jpg"}) {
        benchmark::RegisterBenchmark((std::string("PlaybackDecode/") + format).c_str(), PlaybackDecode,
                                     std::string(".") + format)
            ->ArgName("threads")
            ->Arg(1)
            ->Arg(2)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("ExportH264", ExportH264)
        ->ArgNames({"W", "H"})
        ->Args({1920, 1080})
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("PlaybackSeries/png", PlaybackSeries)
        ->ArgNames({"frames", "fps"})
        ->Args({200, 24})
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    return 0;
}();

}  // namespace
