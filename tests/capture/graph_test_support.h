// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/filter_graph.h"
#include "capture/sys_dev_enum.h"
#include "platform/mediagraph/sample_grabber.h"
#include "platform/mediagraph/service.h"
#include "support/temp_dir.h"

namespace flipbook::testing {

// The Qt application whose event loop delivers the graph's notifications; made once per program.
inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "filter_graph_test";
    static char* argv[] = {name, nullptr};
    static auto* application = new QCoreApplication(argc, argv);
    (void)application;
}

// A test with the apartment entered, the Qt application made and a running object table of its own
// (a fresh runtime folder), so registrations of other tests or programs cannot interfere.
class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        CoInitialize();
        setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
    }
    void TearDown() override {
        unsetenv("XDG_RUNTIME_DIR");
        setenv("FLIPBOOK_TEST_CAMERA", "", 1);
        CoUninitialize();
    }

    TempDir runtime_;
};

// Runs the event loop until done() holds, at most ten seconds (a guard against a stuck pipeline).
inline bool PumpUntil(const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline const char* OperationName(TMemberOperation operation) {
    switch (operation) {
        case moAdding:
            return "adding";
        case moAdded:
            return "added";
        case moRemoving:
            return "removing";
        case moRemoved:
            return "removed";
        case moRefresh:
            return "refresh";
    }
    return "?";
}

// A graph member that records what it is told and makes its filter on moAdding.
class RecordingMember : public UncountedObject<IGraphMember> {
public:
    using FilterMaker = std::function<ComPtr<IBaseFilter>()>;

    RecordingMember(std::string name, std::vector<std::string>& log, FilterMaker make)
        : name_(std::move(name)), log_(log), make_(std::move(make)) {}

    ComPtr<IBaseFilter> GetFilter() override { return filter_; }
    std::string GetName() override { return name_; }
    HRESULT NotifyMember(TMemberOperation operation, std::int32_t) override {
        log_.push_back(name_ + " " + OperationName(operation));
        if (operation == moAdding) filter_ = make_();
        if (operation == moRemoving && filter_) filter_->Stop();
        if (operation == moRemoved) filter_.Reset();
        return S_OK;
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
    FilterMaker make_;
    ComPtr<IBaseFilter> filter_;
};

inline ComPtr<IBaseFilter> MakeGrabber() {
    ComPtr<IBaseFilter> grabber;
    CoCreateInstance(CLSID_SampleGrabber, CLSCTX_INPROC, grabber);
    AM_MEDIA_TYPE type;
    type.majortype = MEDIATYPE_Video;
    type.subtype = MEDIASUBTYPE_RGB24;
    type.formattype = FORMAT_VideoInfo;
    grabber.As<ISampleGrabber>()->SetMediaType(&type);
    return grabber;
}

// The capture filter of the first video input device, bound through its moniker as the source
// filter component binds it.
inline ComPtr<IBaseFilter> BindFirstVideoDevice() {
    TSysDevEnum devices(CLSID_VideoInputDeviceCategory);
    ComPtr<IMoniker> moniker = devices.GetMoniker(0);
    ComPtr<IBaseFilter> filter;
    if (moniker) moniker->BindToObject(nullptr, nullptr, IBaseFilter::kIid, filter.PutVoid());
    return filter;
}

// The names of the graph's filters, in the graph's order.
inline std::vector<std::string> FilterNames(TFilterGraph& graph) {
    ComPtr<IGraphBuilder> builder;
    graph.QueryInterface(builder);
    std::vector<std::string> names;
    if (!builder) return names;
    std::string description = builder.As<IGraphDescription>()->Describe();
    for (std::size_t start = 0; start < description.size();) {
        std::size_t end = description.find('\n', start);
        std::string line = description.substr(start, end - start);
        if (line.rfind("filter ", 0) == 0) names.push_back(line.substr(7));
        start = end + 1;
    }
    return names;
}

}  // namespace flipbook::testing
