// SPDX-License-Identifier: GPL-3.0-or-later
// flipbookcam-export: writes a folder's pictures of one format, in name order, as a video, the same
// way as the window's "Export Video...". A progress bar shows on a terminal; Ctrl+C, SIGTERM and
// SIGHUP cancel at once and leave no file behind.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/library/picture_files.h"
#include "app/library/snapshot_folder.h"
#include "export/export_series.h"
#include "export/video_writer.h"
#include "playback/player.h"

namespace {

std::atomic<bool> cancelRequested{false};

extern "C" void RequestCancel(int) {
    cancelRequested = true;
}

int Usage(std::FILE* out, int status) {
    std::fputs(
        "usage: flipbookcam-export FOLDER OUTPUT [--fps N] [--format png|jpg|bmp] [--hold-unreadable]\n"
        "       flipbookcam-export --help|--version\n"
        "  Writes the folder's pictures of the format (png unless given), in name order, as a video:\n"
        "  OUTPUT ends in .mp4 (H.264) or .webm (VP9); N frames a second, 1 to 30 (12 unless given).\n"
        "  --hold-unreadable: a picture that cannot be read does not end the export; the picture\n"
        "  before it stands in its place, and each one held is named at the end.\n",
        out);
    return status;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "flipbookcam-export: %s\n", message.c_str());
    return 1;
}

struct Arguments {
    std::string folder;
    std::string output;
    int framesPerSecond = flipbook::PlaybackOptions::kDefaultRate;
    std::string format = "png";
    bool holdUnreadable = false;
};

// False when the command line is not understood.
bool Parse(int argc, char** argv, Arguments& arguments) {
    std::vector<std::string> positional;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == "--fps" && hasValue) {
            char* end = nullptr;
            const long rate = std::strtol(argv[++index], &end, 10);
            if (*end != '\0' || rate < flipbook::PlaybackOptions::kMinimumRate ||
                rate > flipbook::PlaybackOptions::kMaximumRate)
                return false;
            arguments.framesPerSecond = static_cast<int>(rate);
        } else if (argument == "--format" && hasValue) {
            arguments.format = argv[++index];
            if (arguments.format != "png" && arguments.format != "jpg" && arguments.format != "bmp")
                return false;
        } else if (argument == "--hold-unreadable") {
            arguments.holdUnreadable = true;
        } else if (argument.rfind("--", 0) == 0) {
            return false;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2) return false;
    arguments.folder = positional[0];
    arguments.output = positional[1];
    return true;
}

void ShowProgress(std::size_t done, std::size_t total) {
    constexpr std::size_t kBarWidth = 40;
    const std::size_t filled = total ? done * kBarWidth / total : kBarWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu frames", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), done, total);
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))
        return Usage(stdout, 0);
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("flipbookcam-export %s\n", FLIPBOOK_VERSION);
        return 0;
    }
    Arguments arguments;
    if (!Parse(argc, argv, arguments)) return Usage(stderr, 2);

    std::error_code error;
    if (!std::filesystem::is_directory(arguments.folder, error))
        return Fail("no such folder: " + arguments.folder);
    std::string folder = arguments.folder;
    if (folder.back() != '/') folder += '/';
    std::vector<std::string> names = flipbook::ListPictureNames(folder, "." + arguments.format);
    if (names.empty()) return Fail("no ." + arguments.format + " pictures in " + arguments.folder);
    // The window lists them sorted, and snapshot names sort in the order they were taken.
    std::sort(names.begin(), names.end());

    flipbook::SeriesExport job;
    for (const std::string& name : names) job.pictures.push_back(folder + name);
    job.output = arguments.output;
    job.framesPerSecond = arguments.framesPerSecond;
    job.load = [](flipbook::Bitmap& target, const std::string& path) {
        return flipbook::LoadPicture(&target, path);
    };
    if (isatty(STDERR_FILENO)) job.progress = ShowProgress;
    std::vector<std::string> held;
    if (arguments.holdUnreadable) {
        job.holdUnreadable = [&held](const std::string& picture) {
            held.push_back(picture);
            return true;
        };
    }
    job.cancel = &cancelRequested;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RequestCancel);
    // A file-size limit then fails the write like a full disk, with a message and no file left,
    // instead of killing the command.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        if (flipbook::ExportSeries(job) == flipbook::ExportOutcome::Cancelled) {
            if (job.progress) std::fputc('\n', stderr);
            std::fputs("flipbookcam-export: cancelled, nothing written\n", stderr);
            return 130;
        }
    } catch (const flipbook::EExportError& failure) {
        if (job.progress) std::fputc('\n', stderr);
        // One unreadable picture need not cost the whole video: say how to go past it.
        const std::string message = failure.what();
        if (!arguments.holdUnreadable && message.rfind("Cannot read the picture ", 0) == 0)
            return Fail(message + " (--hold-unreadable puts the picture before it in its place)");
        return Fail(message);
    } catch (const std::exception& failure) {
        if (job.progress) std::fputc('\n', stderr);
        return Fail(failure.what());
    }
    for (const std::string& picture : held)
        std::fprintf(stderr,
                     "flipbookcam-export: %s could not be read; the picture before it stands in its place\n",
                     picture.c_str());
    std::printf("%zu frames at %d a second written to %s\n", job.pictures.size(), job.framesPerSecond,
                arguments.output.c_str());
    return 0;
}
