// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "capture/filter_graph.h"
#include "capture/graph_test_support.h"
#include "platform/mediagraph/rot.h"
#include "support/temp_dir.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

struct ToolResult {
    int status = -1;
    std::string output;
};

// Runs the inspection tool as another process, as an inspecting user would.
ToolResult RunTool(const std::string& arguments) {
    ToolResult result;
    std::string command = std::string(FLIPBOOK_GRAPHS_TOOL) + " " + arguments + " 2>&1";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, count);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

using GraphsTool = testing::GraphTest;

TEST_F(GraphsTool, ListsAnActiveGraphWithGraphEdit_AndShowsItsFilters_UntilItIsDeactivated) {
    std::vector<std::string> log;
    testing::RecordingMember grabber{"fwSampleGrabber", log, testing::MakeGrabber};
    TFilterGraph graph;
    graph.SetMode(gmCapture);
    graph.SetGraphEdit(true);
    graph.AttachMember(&grabber);
    EXPECT_EQ(RunTool("").output, "");

    graph.SetActive(true);
    ComPtr<IGraphBuilder> builder;
    ASSERT_EQ(graph.QueryInterface(builder), S_OK);
    char item[96];
    std::snprintf(item, sizeof item, "FilterGraph %016llX pid %X",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(builder.Get())),
                  static_cast<unsigned>(getpid()));
    const std::string itemText(item);
    ToolResult listed = RunTool("");
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.output, itemText + "\n");

    // Appending in place: GCC 12 at -O3 takes "'" + string for an overlapping copy (-Wrestrict).
    std::string quoted("'");
    quoted.append(itemText).append("'");
    ToolResult shown = RunTool(quoted);
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.output, itemText + "\nfilter fwSampleGrabber\n");
    EXPECT_EQ(RunTool("1").output, shown.output);

    graph.SetActive(false);
    EXPECT_EQ(RunTool("").output, "");
    ToolResult gone = RunTool("1");
    EXPECT_EQ(gone.status, 1);
}

TEST_F(GraphsTool, LeavesOutGraphsOfProcessesThatEnded) {
    std::filesystem::create_directory(RunningObjectTableFolder());
    std::filesystem::permissions(RunningObjectTableFolder(), std::filesystem::perms::owner_all);
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    std::ofstream(RunningObjectTableFolder() / (std::to_string(child) + "-1.entry"))
        << "flipbookcam-rot 1\npid " << child << "\nregistered 1\nname !FilterGraph 0000000000000001 pid "
        << std::hex << child << "\ndescription\nfilter stale\n";
    EXPECT_EQ(RunTool("").output, "");
    EXPECT_EQ(RunTool("1").status, 1);
}

}  // namespace
}  // namespace flipbook
