// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_dir.h"
#include "support/video_decode.h"

namespace flipbook {
namespace {

struct ToolResult {
    int status = -1;
    std::string output;
};

// Runs the command as another process, as a user would; the environment words go before it.
ToolResult RunTool(const std::string& arguments, const std::string& environment = "") {
    ToolResult result;
    const std::string command = environment + " " + FLIPBOOK_EXPORT_TOOL + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, count);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A 24-bit BMP file of 32 x 24 pixels of one grey.
void WriteBmp(const std::filesystem::path& path, std::uint8_t grey) {
    constexpr int kWidth = 32;
    constexpr int kHeight = 24;
    constexpr std::uint32_t kPixelBytes = kWidth * 3 * kHeight;
    std::ofstream file(path, std::ios::binary);
    const auto put = [&file](std::uint32_t value, int bytes) {
        for (int byte = 0; byte < bytes; ++byte) file.put(static_cast<char>(value >> (8 * byte)));
    };
    file << "BM";
    put(54 + kPixelBytes, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(kWidth, 4);
    put(kHeight, 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(kPixelBytes, 4);
    file << std::string(16, '\0');  // resolutions and colour counts
    file << std::string(kPixelBytes, static_cast<char>(grey));
}

// A 24-bit BMP of noise, which no encoder can make small: each frame costs the disk a lot.
void WriteNoiseBmp(const std::filesystem::path& path, int width, int height, unsigned seed) {
    const std::uint32_t pixelBytes = static_cast<std::uint32_t>(width * 3 * height);
    std::ofstream file(path, std::ios::binary);
    const auto put = [&file](std::uint32_t value, int bytes) {
        for (int byte = 0; byte < bytes; ++byte) file.put(static_cast<char>(value >> (8 * byte)));
    };
    file << "BM";
    for (const auto& [value, bytes] :
         std::vector<std::pair<std::uint32_t, int>>{{54 + pixelBytes, 4},
                                                    {0, 4},
                                                    {54, 4},
                                                    {40, 4},
                                                    {static_cast<std::uint32_t>(width), 4},
                                                    {static_cast<std::uint32_t>(height), 4},
                                                    {1, 2},
                                                    {24, 2},
                                                    {0, 4},
                                                    {pixelBytes, 4}})
        put(value, bytes);
    file << std::string(16, '\0');
    std::mt19937 random(seed);
    std::string pixels(pixelBytes, '\0');
    for (char& byte : pixels) byte = static_cast<char>(random());
    file << pixels;
}

std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    return names;
}

// A small file system of its own, where root may mount one (read-only when asked); it goes with the
// object.
class SmallDisk {
public:
    SmallDisk(const std::filesystem::path& where, const char* size, unsigned long flags = 0) : where_(where) {
        std::filesystem::create_directory(where_);
        mounted_ = geteuid() == 0 && ::mount("tmpfs", where_.c_str(), "tmpfs", flags, size) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::filesystem::path where_;
    bool mounted_ = false;
};

class ExportTool : public ::testing::Test {
protected:
    void TearDown() override {
        if (HasFailure()) folder_.Keep();
    }
    std::string Quoted(const std::filesystem::path& path) const {
        std::string quoted("'");  // appended in place, which GCC 12 at -O3 does not mistake for an overlap
        quoted.append(path.string()).append("'");
        return quoted;
    }
    testing::TempDir folder_;
};

TEST_F(ExportTool, WritesTheFolderAsAVideo_InNameOrderAtTheRate) {
    std::filesystem::create_directory(folder_.Path() / "series");
    for (int index = 0; index < 5; ++index)
        WriteBmp(folder_.Path() / "series" / ("snap-" + std::to_string(index) + ".bmp"),
                 static_cast<std::uint8_t>(40 * index));
    WriteBmp(folder_.Path() / "series" / "other.BMP.png", 0);  // another format: left out
    const std::filesystem::path output = folder_.Path() / "series.mp4";
    const ToolResult result =
        RunTool(Quoted(folder_.Path() / "series") + " " + Quoted(output) + " --fps 5 --format bmp");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "5 frames at 5 a second written to " + output.string() + "\n");

    const testing::DecodedVideo video = testing::DecodeVideo(output.string());
    ASSERT_EQ(video.frames.size(), 5u) << video.error;
    EXPECT_NEAR(static_cast<double>(video.durationNanoseconds), 1e9, 0.2e9);
    for (std::size_t frame = 0; frame < 5; ++frame)
        EXPECT_NEAR(video.Pixel(frame, 16, 12)[1], 40.0 * frame, 12);
}

TEST_F(ExportTool, MissingFolder_EmptyFolder_UnwritableOutput_AndBadArguments_FailWithAMessage) {
    const std::string missing = (folder_.Path() / "missing").string();
    ToolResult result = RunTool("'" + missing + "' out.mp4");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "flipbookcam-export: no such folder: " + missing + "\n");

    WriteBmp(folder_.Path() / "only.bmp", 0);
    result = RunTool(Quoted(folder_.Path()) + " out.mp4");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "flipbookcam-export: no .png pictures in " + folder_.Path().string() + "\n");

    // A file stands where the output's folder should be, so not even root can write there.
    const std::filesystem::path unwritable = folder_.Path() / "only.bmp" / "out.webm";
    result = RunTool(Quoted(folder_.Path()) + " " + Quoted(unwritable) + " --format bmp");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "flipbookcam-export: Cannot create file " + unwritable.string() + ": the folder is gone\n");

    result = RunTool(Quoted(folder_.Path()) + " " + Quoted(folder_.Path() / "out.avi") + " --format bmp");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("must end in .mp4 or .webm"), std::string::npos) << result.output;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 1)
        << "nothing left behind";

    for (const char* arguments : {"", "one", "a b --fps 0", "a b --fps 31", "a b --format gif", "a b c"})
        EXPECT_EQ(RunTool(arguments).status, 2) << arguments;
}

// Twenty-four pictures of noise, which compress poorly: their video outgrows a small disk.
std::filesystem::path WriteNoiseSeries(const std::filesystem::path& folder) {
    const std::filesystem::path series = folder / "series";
    std::filesystem::create_directory(series);
    for (int index = 0; index < 24; ++index)
        WriteNoiseBmp(series / ("snap-" + std::to_string(100 + index) + ".bmp"), 320, 240, index);
    return series;
}

// Before, the command waited for ever with its source full and a partial file on the disk; the kill
// after two minutes is only there so that such a hang fails rather than stalls the run.
const std::string kBounded = "timeout -s KILL 120";

// The disk refusing the video ends the export at once, with the reason, and leaves nothing on it: a
// file-size limit stands in for a full disk everywhere.
TEST_F(ExportTool, FullDisk_EndsWithTheReason_AndLeavesNoFile) {
    const std::filesystem::path series = WriteNoiseSeries(folder_.Path());
    const std::filesystem::path limited = folder_.Path() / "limited";
    std::filesystem::create_directory(limited);
    const ToolResult result = RunTool(Quoted(series) + " " + Quoted(limited / "out.mp4") + " --format bmp",
                                      kBounded + " prlimit --fsize=150000 --");
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(result.output.rfind("flipbookcam-export: Cannot write the video " +
                                      (limited / "out.mp4").string() + ": the file could not be written",
                                  0),
              0u)
        << result.output;
    EXPECT_TRUE(std::filesystem::is_empty(limited));
}

// A real full disk, where root may mount a small one, is said as such.
TEST_F(ExportTool, FullDisk_OnARealDisk_SaysTheDiskIsFull_AndLeavesNoFile) {
    const SmallDisk disk(folder_.Path() / "small", "size=300k");
    if (!disk.Mounted()) GTEST_SKIP() << "needs root to mount a small file system that fills up";
    const std::filesystem::path series = WriteNoiseSeries(folder_.Path());
    const std::filesystem::path output = folder_.Path() / "small" / "out.mp4";
    const ToolResult result = RunTool(Quoted(series) + " " + Quoted(output) + " --format bmp", kBounded);
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(result.output,
              "flipbookcam-export: Cannot write the video " + output.string() + ": the disk is full\n");
    EXPECT_TRUE(std::filesystem::is_empty(output.parent_path())) << NamesIn(output.parent_path()).front();
}

// A read-only disk is said as such, as a full one is; before, only "Cannot create file".
TEST_F(ExportTool, ReadOnlyDisk_SaysWhy) {
    WriteBmp(folder_.Path() / "only.bmp", 0);
    const SmallDisk disk(folder_.Path() / "card", "size=300k", MS_RDONLY);
    if (!disk.Mounted()) GTEST_SKIP() << "needs root to mount a read-only file system";
    const std::filesystem::path output = folder_.Path() / "card" / "out.mp4";
    const ToolResult result = RunTool(Quoted(folder_.Path()) + " " + Quoted(output) + " --format bmp");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output,
              "flipbookcam-export: Cannot create file " + output.string() + ": the disk is read-only\n");
}

// One damaged picture ends the export and says how to go past it; --hold-unreadable puts the picture
// before it in its place and names it at the end.
TEST_F(ExportTool, UnreadablePicture_EndsTheExport_OrIsHeldWithTheOption) {
    const std::filesystem::path series = folder_.Path() / "series";
    std::filesystem::create_directory(series);
    for (int index = 0; index < 4; ++index)
        WriteBmp(series / ("snap-" + std::to_string(index) + ".bmp"), static_cast<std::uint8_t>(60 * index));
    std::ofstream(series / "snap-2.bmp", std::ios::trunc) << "BM cut short";
    const std::filesystem::path output = folder_.Path() / "out.mp4";
    ToolResult result = RunTool(Quoted(series) + " " + Quoted(output) + " --format bmp");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.output, "flipbookcam-export: Cannot read the picture " +
                                 (series / "snap-2.bmp").string() +
                                 " (--hold-unreadable puts the picture before it in its place)\n");
    EXPECT_FALSE(std::filesystem::exists(output));

    result = RunTool(Quoted(series) + " " + Quoted(output) + " --format bmp --fps 4 --hold-unreadable");
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(result.output, "flipbookcam-export: " + (series / "snap-2.bmp").string() +
                                 " could not be read; the picture before it stands in its place\n"
                                 "4 frames at 4 a second written to " +
                                 output.string() + "\n");
    const testing::DecodedVideo video = testing::DecodeVideo(output.string());
    ASSERT_EQ(video.frames.size(), 4u) << video.error;
    const double greens[] = {0, 60, 60, 180};
    for (std::size_t frame = 0; frame < 4; ++frame)
        EXPECT_NEAR(video.Pixel(frame, 16, 12)[1], greens[frame], 12);
}

// SIGTERM (a logout) and SIGINT (Ctrl+C) end an export in progress promptly and leave nothing.
TEST_F(ExportTool, TerminatedOrInterrupted_EndsAtOnce_AndLeavesNothing) {
    const std::filesystem::path series = folder_.Path() / "series";
    std::filesystem::create_directory(series);
    for (int index = 0; index < 8; ++index)
        WriteNoiseBmp(series / ("snap-" + std::to_string(100 + index) + ".bmp"), 640, 480, index);
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        const std::filesystem::path out = folder_.Path() / ("out-" + std::to_string(signal));
        std::filesystem::create_directory(out);
        const std::filesystem::path log = folder_.Path() / "log";
        // Frames of noise in VP9 take seconds; the signal comes as soon as the export has begun.
        std::string command = "exec " + std::string(FLIPBOOK_EXPORT_TOOL) + " " + Quoted(series) + " " +
                              Quoted(out / "out.webm") + " --format bmp 2>" + Quoted(log);
        const pid_t tool = fork();
        if (tool == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_GT(tool, 0);
        // The export is under way once its hidden file is in the folder.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::filesystem::is_empty(out) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(std::filesystem::is_empty(out));
        ::kill(tool, signal);
        int status = 0;
        const auto killDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(tool, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > killDeadline) {
                ::kill(tool, SIGKILL);
                waitpid(tool, &status, 0);
                ADD_FAILURE() << "the export went on after the signal";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
        std::ifstream text(log);
        const std::string said{std::istreambuf_iterator<char>(text), std::istreambuf_iterator<char>()};
        EXPECT_EQ(said, "flipbookcam-export: cancelled, nothing written\n");
        EXPECT_TRUE(std::filesystem::is_empty(out));
    }
}

// GStreamer sees every plugin of the system but the H.264 encoder's.
TEST_F(ExportTool, MissingEncoder_NamesThePackageToInstall) {
    const std::filesystem::path plugins = folder_.Path() / "plugins";
    std::filesystem::create_directory(plugins);
    for (const auto& entry : std::filesystem::directory_iterator(GST_PLUGINS_DIRECTORY)) {
        if (entry.path().filename() != "libgstx264.so")
            std::filesystem::create_symlink(entry.path(), plugins / entry.path().filename());
    }
    WriteBmp(folder_.Path() / "only.bmp", 0);
    const ToolResult result =
        RunTool(Quoted(folder_.Path()) + " " + Quoted(folder_.Path() / "out.mp4") + " --format bmp",
                "GST_PLUGIN_SYSTEM_PATH=" + Quoted(plugins) +
                    " GST_PLUGIN_PATH= GST_REGISTRY=" + Quoted(folder_.Path() / "registry.bin"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(
        result.output,
        "flipbookcam-export: Cannot export MP4 (H.264) video: the GStreamer element x264enc is missing. "
        "Install the Debian package gstreamer1.0-plugins-ugly.\n");
}

}  // namespace
}  // namespace flipbook
