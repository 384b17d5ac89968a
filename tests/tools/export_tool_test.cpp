#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
    EXPECT_EQ(result.output, "flipbookcam-export: Cannot create file " + unwritable.string() + "\n");

    result = RunTool(Quoted(folder_.Path()) + " " + Quoted(folder_.Path() / "out.avi") + " --format bmp");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("must end in .mp4 or .webm"), std::string::npos) << result.output;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 1)
        << "nothing left behind";

    for (const char* arguments : {"", "one", "a b --fps 0", "a b --fps 31", "a b --format gif", "a b c"})
        EXPECT_EQ(RunTool(arguments).status, 2) << arguments;
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
