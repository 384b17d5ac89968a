// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/rot.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "platform/mediagraph/graph.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service.h"
#include "support/temp_dir.h"

namespace flipbook {
namespace {

class RunningObjects : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize();
        setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        CoUninitialize();
    }

    static pid_t DeadProcess() {
        pid_t child = fork();
        if (child == 0) _exit(0);
        waitpid(child, nullptr, 0);
        return child;
    }

    // Registers a new graph under "!" + item.
    HRESULT RegisterNewGraph(const std::string& item, std::uint32_t& cookie) {
        GetRunningObjectTable(0, table_);
        ComPtr<IMoniker> name;
        CreateItemMoniker("!", item, name);
        ComPtr<IGraphBuilder> graph;
        CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph);
        return table_->Register(0, graph.Get(), name.Get(), cookie);
    }

    testing::TempDir runtime_;
    ComPtr<IRunningObjectTable> table_;
};

TEST_F(RunningObjects, Register_MakesAnEntryOthersCanRead_UntilRevoked) {
    ComPtr<IGraphBuilder> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC, graph), S_OK);
    ComPtr<IRunningObjectTable> table;
    ASSERT_EQ(GetRunningObjectTable(0, table), S_OK);
    ComPtr<IMoniker> name;
    ASSERT_EQ(CreateItemMoniker("!", "FilterGraph 0000 pid 1", name), S_OK);
    std::uint32_t cookie = 0;
    ASSERT_EQ(table->Register(0, graph.Get(), name.Get(), cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(RunningObjectTableFolder(), runtime_.Path() / "flipbookcam-rot");

    std::vector<RunningObjectEntry> entries = ReadRunningObjectTable();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].displayName, "!FilterGraph 0000 pid 1");
    EXPECT_EQ(entries[0].pid, getpid());
    EXPECT_EQ(entries[0].description, "");

    // The entry follows the graph as filters come.
    ComPtr<IBaseFilter> grabber;
    ASSERT_EQ(CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, grabber), S_OK);
    graph->AddFilter(grabber.Get(), "Grabber");
    entries = ReadRunningObjectTable();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].description, "filter Grabber\n");

    EXPECT_EQ(table->Revoke(cookie), S_OK);
    EXPECT_TRUE(ReadRunningObjectTable().empty());
    EXPECT_EQ(table->Revoke(cookie), E_INVALIDARG);
}

TEST_F(RunningObjects, ReadRunningObjectTable_LeavesOutEntriesOfDeadProcesses) {
    std::filesystem::create_directory(RunningObjectTableFolder());
    std::filesystem::permissions(RunningObjectTableFolder(), std::filesystem::perms::owner_all);
    pid_t dead = DeadProcess();
    std::ofstream(RunningObjectTableFolder() / (std::to_string(dead) + "-1.entry"))
        << "flipbookcam-rot 1\npid " << dead << "\nregistered 1\nname !FilterGraph 1 pid 2\ndescription\n";
    EXPECT_TRUE(ReadRunningObjectTable().empty());

    std::uint32_t cookie = 0;
    ASSERT_EQ(RegisterNewGraph("live", cookie), S_OK);
    ASSERT_EQ(ReadRunningObjectTable().size(), 1u);
    // Registering also sweeps away what dead processes left.
    EXPECT_FALSE(std::filesystem::exists(RunningObjectTableFolder() / (std::to_string(dead) + "-1.entry")));
    table_->Revoke(cookie);
}

TEST_F(RunningObjects, Register_RefusesAFolderOthersCouldWriteTo) {
    std::filesystem::create_directory(RunningObjectTableFolder());
    std::filesystem::permissions(RunningObjectTableFolder(), std::filesystem::perms::all);
    std::uint32_t cookie = 7;
    EXPECT_EQ(RegisterNewGraph("x", cookie), E_ACCESSDENIED);
    EXPECT_EQ(cookie, 0u);
}

}  // namespace
}  // namespace flipbook
