// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/filter_graph.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "capture/sys_dev_enum.h"
#include "graph_test_support.h"
#include "platform/mediagraph/rot.h"
#include "support/temp_dir.h"
#include "test_camera.h"

namespace flipbook {
namespace {

const bool kCameraPrepared = (testing::PrepareTestCamera(), true);

class FilterGraph : public testing::GraphTest {
protected:
    std::vector<std::string> log_;
    testing::RecordingMember grabber_{"fwSampleGrabber", log_, testing::MakeGrabber};
};

// A graph manager whose running state answers what the test says.
class ScriptedGraph : public ComObject<IGraphBuilder, IMediaControl> {
public:
    ScriptedGraph(HRESULT run, HRESULT stop) : run_(run), stop_(stop) {}
    HRESULT AddFilter(IBaseFilter*, const std::string&) override { return S_OK; }
    HRESULT RemoveFilter(IBaseFilter*) override { return S_OK; }
    HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>& filters) override {
        filters.clear();
        return S_OK;
    }
    HRESULT FindFilterByName(const std::string&, ComPtr<IBaseFilter>&) override { return VFW_E_NOT_FOUND; }
    HRESULT SetLogFile(std::intptr_t) override { return S_OK; }
    HRESULT Run() override { return run_; }
    HRESULT Stop() override { return stop_; }

private:
    HRESULT run_;
    HRESULT stop_;
};

ClassRegistration ScriptGraph(HRESULT run, HRESULT stop) {
    return ClassRegistration(CLSID_FilterGraph,
                             [=] { return MakeCom<ScriptedGraph>(run, stop).As<IUnknown>(); });
}

TEST_F(FilterGraph, Activation_AddsMembersInOrderUnderTheirNames_AndDeactivationTakesThemOut) {
    std::vector<std::string> sourceLog;
    testing::RecordingMember second{"fwFilterSource", log_, testing::MakeGrabber};
    TFilterGraph graph;
    graph.OnActivate = [&](TFilterGraph& sender) {
        EXPECT_EQ(&sender, &graph);
        log_.push_back("OnActivate");
    };
    graph.AttachMember(&grabber_);
    graph.AttachMember(&second);
    EXPECT_TRUE(log_.empty());  // nothing to add while inactive

    graph.SetActive(true);
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(log_,
              (std::vector<std::string>{"fwSampleGrabber adding", "fwSampleGrabber added",
                                        "fwFilterSource adding", "fwFilterSource added", "OnActivate"}));
    EXPECT_EQ(testing::FilterNames(graph), (std::vector<std::string>{"fwSampleGrabber", "fwFilterSource"}));

    log_.clear();
    graph.SetActive(true);  // already active: nothing
    EXPECT_TRUE(log_.empty());
    graph.SetActive(false);
    EXPECT_EQ(log_, (std::vector<std::string>{"fwSampleGrabber removing", "fwSampleGrabber removed",
                                              "fwFilterSource removing", "fwFilterSource removed"}));
    ComPtr<IGraphBuilder> builder;
    EXPECT_EQ(graph.QueryInterface(builder), E_NOINTERFACE);
}

TEST_F(FilterGraph, Members_AttachedWhileActiveAreAddedAtOnce_AndTheListGoesWithTheLast) {
    TFilterGraph graph;
    graph.SetActive(true);
    EXPECT_TRUE(testing::FilterNames(graph).empty());  // no members: the graph objects only
    graph.AttachMember(&grabber_);
    EXPECT_EQ(testing::FilterNames(graph), std::vector<std::string>{"fwSampleGrabber"});
    graph.DetachMember(&grabber_);
    EXPECT_TRUE(testing::FilterNames(graph).empty());
    EXPECT_EQ(graph.MemberCount(), 0u);
    EXPECT_EQ(log_, (std::vector<std::string>{"fwSampleGrabber adding", "fwSampleGrabber added",
                                              "fwSampleGrabber removing", "fwSampleGrabber removed"}));
    graph.AttachMember(&grabber_);
    EXPECT_EQ(graph.MemberCount(), 1u);
}

TEST_F(FilterGraph, Loaded_ActivatesOnlyWithAutoCreate) {
    TFilterGraph graph;
    graph.Loaded();
    EXPECT_FALSE(graph.Active());
    graph.SetAutoCreate(true);
    graph.Loaded();
    EXPECT_TRUE(graph.Active());
}

TEST_F(FilterGraph, RunAndStop_AnswerFalse_WhileInactive) {
    TFilterGraph graph;
    EXPECT_FALSE(graph.Run());
    EXPECT_FALSE(graph.Stop());
    graph.ClearGraph();
    EXPECT_FALSE(graph.Active());
}

TEST_F(FilterGraph, Stop_AnswersFalseWithoutError_WhenTheGraphAnswersSFalse) {
    ClassRegistration scripted = ScriptGraph(S_FALSE, S_FALSE);
    TFilterGraph graph;
    graph.SetActive(true);
    EXPECT_TRUE(graph.Run());
    EXPECT_FALSE(graph.Stop());
}

TEST_F(FilterGraph, Run_RaisesTheServiceTextWithTheCode_WhenTheGraphFails) {
    ClassRegistration scripted = ScriptGraph(VFW_E_NOT_CONNECTED, S_OK);
    TFilterGraph graph;
    graph.SetActive(true);
    EXPECT_TRUE(graph.Stop());
    try {
        graph.Run();
        FAIL() << "no exception";
    } catch (const EDirectShowException& error) {
        EXPECT_STREQ(error.what(),
                     "The operation cannot be performed because the pins are not connected. ($80040209).");
        EXPECT_EQ(error.ErrorCode(), VFW_E_NOT_CONNECTED);
    }
    EXPECT_EQ(graph.CheckGraphResult(S_FALSE), S_FALSE);
}

TEST_F(FilterGraph, ClearGraph_LeavesOnlyTheMembersFiltersUnconnected) {
    testing::SetTestCameras("Camera:160x120@30");
    testing::RecordingMember source{"fwFilterSource", log_, testing::BindFirstVideoDevice};
    TFilterGraph graph;
    graph.SetMode(gmCapture);
    graph.AttachMember(&grabber_);
    graph.AttachMember(&source);
    graph.SetActive(true);
    ComPtr<ICaptureGraphBuilder2> builder;
    ASSERT_EQ(graph.QueryInterface(builder), S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, source.GetFilter().Get(), nullptr,
                                    grabber_.GetFilter().Get()),
              S_OK);
    // The members, the filter holding the camera's mode and the colour converter.
    EXPECT_EQ(testing::FilterNames(graph).size(), 4u);
    EXPECT_TRUE(graph.Run());

    graph.ClearGraph();
    EXPECT_EQ(testing::FilterNames(graph), (std::vector<std::string>{"fwSampleGrabber", "fwFilterSource"}));
    std::vector<ComPtr<IPin>> pins;
    source.GetFilter()->EnumPins(pins);
    ComPtr<IPin> peer;
    EXPECT_EQ(pins.at(0)->ConnectedTo(peer), VFW_E_NOT_CONNECTED);
    // Cleared, the same members can be connected and run again.
    EXPECT_EQ(builder->RenderStream(nullptr, nullptr, source.GetFilter().Get(), nullptr,
                                    grabber_.GetFilter().Get()),
              S_OK);
    EXPECT_TRUE(graph.Run());
    graph.ClearGraph();
}

TEST_F(FilterGraph, Mode_ChangedWhileActiveRebuildsTheGraph_AndTheSameModeChangesNothing) {
    TFilterGraph graph;
    graph.AttachMember(&grabber_);
    graph.SetActive(true);
    ComPtr<ICaptureGraphBuilder2> builder;
    EXPECT_EQ(graph.QueryInterface(builder), E_NOINTERFACE);  // gmNormal has none
    log_.clear();
    graph.SetMode(gmNormal);
    EXPECT_TRUE(log_.empty());

    graph.SetMode(gmCapture);
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(graph.Mode(), gmCapture);
    EXPECT_EQ(log_, (std::vector<std::string>{"fwSampleGrabber removing", "fwSampleGrabber removed",
                                              "fwSampleGrabber adding", "fwSampleGrabber added"}));
    EXPECT_EQ(graph.QueryInterface(builder), S_OK);
    ComPtr<IGraphBuilder> filterGraph;
    EXPECT_EQ(builder->GetFiltergraph(filterGraph), S_OK);
    EXPECT_EQ(testing::FilterNames(graph), std::vector<std::string>{"fwSampleGrabber"});

    graph.SetActive(false);
    log_.clear();
    graph.SetMode(gmNormal);  // inactive: stored only
    EXPECT_TRUE(log_.empty());
    EXPECT_FALSE(graph.Active());
}

TEST_F(FilterGraph, DvdMode_ActivatesWithoutGraphObjects_SinceNoDvdBuilderExists) {
    TFilterGraph graph;
    graph.SetMode(gmDVD);
    graph.AttachMember(&grabber_);
    graph.SetActive(true);
    EXPECT_TRUE(graph.Active());
    EXPECT_EQ(log_, (std::vector<std::string>{"fwSampleGrabber adding", "fwSampleGrabber added"}));
    ComPtr<IMediaControl> control;
    EXPECT_EQ(graph.QueryInterface(control), E_NOINTERFACE);
    EXPECT_FALSE(graph.Run());
    graph.ClearGraph();
    graph.SetActive(false);
}

TEST_F(FilterGraph, GraphEdit_RegistersOnlyWhileActive) {
    TFilterGraph graph;
    graph.SetGraphEdit(true);
    EXPECT_TRUE(ReadRunningObjectTable().empty());
    graph.SetActive(true);
    std::vector<RunningObjectEntry> entries = ReadRunningObjectTable();
    ASSERT_EQ(entries.size(), 1u);
    ComPtr<IGraphBuilder> builder;
    graph.QueryInterface(builder);
    char expected[96];
    std::snprintf(expected, sizeof expected, "!FilterGraph %016llX pid %X",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(builder.Get())),
                  static_cast<unsigned>(getpid()));
    EXPECT_EQ(entries[0].displayName, expected);
    graph.SetGraphEdit(false);
    EXPECT_TRUE(ReadRunningObjectTable().empty());
    graph.SetGraphEdit(true);
    EXPECT_EQ(ReadRunningObjectTable().size(), 1u);
    graph.SetActive(false);
    EXPECT_TRUE(ReadRunningObjectTable().empty());
    EXPECT_TRUE(graph.GraphEdit());
}

TEST_F(FilterGraph, LogFile_InAMissingFolderLeavesNoLogAndTheOldValue) {
    testing::TempDir folder;
    std::string good = folder.File("graph.log");
    std::string missing = folder.File("missing/graph.log");
    TFilterGraph graph;
    graph.SetLogFile(missing);  // inactive: only stored
    EXPECT_EQ(graph.LogFile(), missing);
    graph.SetLogFile(good);
    graph.SetActive(true);
    EXPECT_TRUE(std::filesystem::exists(good));
    graph.SetLogFile(missing);
    EXPECT_EQ(graph.LogFile(), good);
    EXPECT_FALSE(std::filesystem::exists(folder.Path() / "missing"));
    graph.SetLogFile("");
    EXPECT_EQ(graph.LogFile(), "");
    graph.SetActive(false);
}

// Hands each frame's arrival to the graph as an event, from the streaming thread.
class EventOnFrame : public ComObject<ISampleGrabberCB> {
public:
    explicit EventOnFrame(ComPtr<IMediaEventSink> sink) : sink_(std::move(sink)) {}
    HRESULT SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT BufferCB(double, std::uint8_t*, std::int32_t) override {
        if (!sent_.exchange(true)) sink_->Notify(EC_VIDEO_SIZE_CHANGED, (120 << 16) | 160, 0);
        return S_OK;
    }

private:
    ComPtr<IMediaEventSink> sink_;
    std::atomic<bool> sent_{false};
};

TEST_F(FilterGraph, Events_FromTheStreamingThreadArriveOnTheUserInterfaceThread) {
    testing::SetTestCameras("Camera:160x120@30");
    testing::RecordingMember source{"fwFilterSource", log_, testing::BindFirstVideoDevice};
    TFilterGraph graph;
    graph.SetMode(gmCapture);
    graph.AttachMember(&grabber_);
    graph.AttachMember(&source);
    graph.SetActive(true);

    std::thread::id main = std::this_thread::get_id();
    std::vector<std::int32_t> codes;
    int width = 0;
    int height = 0;
    bool onMain = true;
    graph.OnDSEvent = [&](TFilterGraph&, std::int32_t code, std::intptr_t, std::intptr_t) {
        codes.push_back(code);
        onMain = onMain && std::this_thread::get_id() == main;
    };
    graph.OnGraphVideoSizeChanged = [&](TFilterGraph&, std::int32_t w, std::int32_t h) {
        width = w;
        height = h;
    };
    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(graph.QueryInterface(sink), S_OK);
    auto callback = MakeCom<EventOnFrame>(sink);
    grabber_.GetFilter().As<ISampleGrabber>()->SetCallback(callback.Get(), 1);
    ComPtr<ICaptureGraphBuilder2> builder;
    graph.QueryInterface(builder);
    builder->RenderStream(nullptr, nullptr, source.GetFilter().Get(), nullptr, grabber_.GetFilter().Get());
    ASSERT_TRUE(graph.Run());

    EXPECT_TRUE(testing::PumpUntil([&] { return width != 0; }));
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);
    EXPECT_TRUE(onMain);
    EXPECT_NE(std::find(codes.begin(), codes.end(), EC_VIDEO_SIZE_CHANGED), codes.end());
    graph.ClearGraph();
    grabber_.GetFilter().As<ISampleGrabber>()->SetCallback(nullptr, 1);
    graph.SetActive(false);
}

TEST_F(FilterGraph, Events_QueuedBeforeDeactivationAreNeverRaised) {
    TFilterGraph graph;
    int raised = 0;
    graph.OnDSEvent = [&](TFilterGraph&, std::int32_t, std::intptr_t, std::intptr_t) { ++raised; };
    graph.SetActive(true);
    ComPtr<IMediaEventSink> sink;
    ASSERT_EQ(graph.QueryInterface(sink), S_OK);
    std::thread([&] { sink->Notify(EC_USERABORT, 0, 0); }).join();
    graph.SetActive(false);
    QCoreApplication::processEvents();
    graph.HandleGraphEvents();
    EXPECT_EQ(raised, 0);
}

TEST_F(FilterGraph, Events_AHandlerErrorGoesToTheErrorDisplay_AndLaterMessagesAreStillHandled) {
    TFilterGraph graph;
    std::vector<std::string> shown;
    graph.ShowError = [&](const std::string& message) { shown.push_back(message); };
    int handled = 0;
    graph.OnGraphUserAbort = [&](TFilterGraph&) {
        if (++handled == 1) throw Exception("handler failed");
    };
    graph.SetActive(true);
    ComPtr<IMediaEventSink> sink;
    graph.QueryInterface(sink);
    sink->Notify(EC_USERABORT, 0, 0);
    EXPECT_TRUE(testing::PumpUntil([&] { return !shown.empty(); }));
    sink->Notify(EC_USERABORT, 0, 0);
    EXPECT_TRUE(testing::PumpUntil([&] { return handled == 2; }));
    EXPECT_EQ(shown, std::vector<std::string>{"handler failed"});
    graph.SetActive(false);
}

}  // namespace
}  // namespace flipbook
