// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/filter_graph.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDebug>
#include <algorithm>
#include <cstdio>

#include "capture/graph_notify_window.h"
#include "platform/mediagraph/rot.h"
#include "platform/mediagraph/service.h"

namespace flipbook {

TFilterGraph::TFilterGraph()
    : notifyWindow_(std::make_unique<TGraphNotifyWindow>(
          [this](std::uint32_t message, std::intptr_t) { OnNotifyMessage(message); })) {}

TFilterGraph::~TFilterGraph() {
    SetActive(false);
    notifyWindow_.reset();
}

void TFilterGraph::SetActive(bool value) {
    if (value == active_) return;
    if (value)
        Activate();
    else
        Deactivate();
}

void TFilterGraph::Loaded() {
    if (autoCreate_) SetActive(true);
}

void TFilterGraph::Activate() {
    // Creation results are not examined: whatever could not be made is simply missing, and every
    // step below copes with a missing piece.
    switch (mode_) {
        case gmNormal:
            CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, graphBuilder_);
            break;
        case gmCapture:
            CoCreateInstance(CLSID_CaptureGraphBuilder2, CLSCTX_INPROC_SERVER, captureGraphBuilder_);
            CoCreateInstance(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, graphBuilder_);
            if (captureGraphBuilder_ && graphBuilder_)
                captureGraphBuilder_->SetFiltergraph(graphBuilder_.Get());
            break;
        case gmDVD:
            CoCreateInstance(CLSID_DvdGraphBuilder, CLSCTX_INPROC_SERVER, dvdGraphBuilder_);
            if (dvdGraphBuilder_) dvdGraphBuilder_->GetFiltergraph(graphBuilder_);
            break;
    }
    active_ = true;

    if (Succeeded(QueryInterface(mediaEvent_)) && mediaEvent_) {
        mediaEvent_->SetNotifyFlags(0);
        mediaEvent_->SetNotifyWindow(notifyWindow_.get(), WM_GRAPHNOTIFY,
                                     reinterpret_cast<std::intptr_t>(mediaEvent_.Get()));
    }

    if (graphEdit_) RegisterGraphInRot();
    if (!logFile_.empty()) OpenLog(logFile_);

    if (members_)
        for (const ComPtr<IGraphMember>& member : *members_) AddMemberFilter(member.Get());

    if (OnActivate) OnActivate(*this);
}

void TFilterGraph::Deactivate() {
    if (members_)
        for (const ComPtr<IGraphMember>& member : *members_) RemoveMemberFilter(member.Get());

    if (mediaEvent_) {
        mediaEvent_->SetNotifyFlags(1);
        mediaEvent_.Reset();
    }
    if (rotCookie_ != 0) RevokeGraphFromRot();
    CloseLog();

    graphBuilder_.Reset();
    captureGraphBuilder_.Reset();
    dvdGraphBuilder_.Reset();
    active_ = false;
}

void TFilterGraph::AddMemberFilter(IGraphMember* member) {
    member->NotifyMember(moAdding, 0);
    if (graphBuilder_) graphBuilder_->AddFilter(member->GetFilter().Get(), member->GetName());
    member->NotifyMember(moAdded, 0);
}

void TFilterGraph::RemoveMemberFilter(IGraphMember* member) {
    member->NotifyMember(moRemoving, 0);
    if (graphBuilder_) graphBuilder_->RemoveFilter(member->GetFilter().Get());
    member->NotifyMember(moRemoved, 0);
}

void TFilterGraph::SetMode(TGraphMode value) {
    if (value == mode_) return;
    bool wasActive = active_;
    SetActive(false);
    mode_ = value;
    SetActive(wasActive);
}

void TFilterGraph::SetGraphEdit(bool value) {
    if (!value && rotCookie_ != 0) RevokeGraphFromRot();
    if (value && rotCookie_ == 0 && active_) RegisterGraphInRot();
    graphEdit_ = value;
}

void TFilterGraph::SetLogFile(const std::string& value) {
    if (active_) {
        CloseLog();
        // A file that cannot be made leaves logging off and the old name in place.
        if (!value.empty() && !OpenLog(value)) return;
    }
    logFile_ = value;
}

bool TFilterGraph::OpenLog(const std::string& name) {
    int descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) return false;
    if (!graphBuilder_ || Failed(graphBuilder_->SetLogFile(descriptor))) {
        if (graphBuilder_) graphBuilder_->SetLogFile(0);
        close(descriptor);
        return false;
    }
    logDescriptor_ = descriptor;
    return true;
}

void TFilterGraph::CloseLog() {
    if (graphBuilder_) graphBuilder_->SetLogFile(0);
    if (logDescriptor_ >= 0) close(std::exchange(logDescriptor_, -1));
}

void TFilterGraph::RegisterGraphInRot() {
    ComPtr<IRunningObjectTable> table;
    if (!graphBuilder_ || Failed(GetRunningObjectTable(0, table))) return;
    // The address takes the full width of a pointer on this machine.
    char item[96];
    std::snprintf(item, sizeof item, "FilterGraph %0*llX pid %X", static_cast<int>(2 * sizeof(void*)),
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(graphBuilder_.Get())),
                  static_cast<unsigned>(getpid()));
    ComPtr<IMoniker> moniker;
    if (Succeeded(CreateItemMoniker("!", item, moniker)))
        table->Register(0, graphBuilder_.Get(), moniker.Get(), rotCookie_);
}

void TFilterGraph::RevokeGraphFromRot() {
    ComPtr<IRunningObjectTable> table;
    if (Succeeded(GetRunningObjectTable(0, table))) table->Revoke(rotCookie_);
    rotCookie_ = 0;
}

void TFilterGraph::AttachMember(IGraphMember* member) {
    if (!member) return;
    if (!members_) members_ = std::make_unique<std::vector<ComPtr<IGraphMember>>>();
    members_->push_back(ComPtr<IGraphMember>(member));
    if (active_) AddMemberFilter(member);
}

void TFilterGraph::DetachMember(IGraphMember* member) {
    if (!members_) return;
    auto found = std::find_if(members_->begin(), members_->end(),
                              [member](const ComPtr<IGraphMember>& held) { return held.Get() == member; });
    if (found == members_->end()) return;
    ComPtr<IGraphMember> removed = *found;
    members_->erase(found);
    if (active_) RemoveMemberFilter(removed.Get());
    if (members_->empty()) members_.reset();
}

bool TFilterGraph::Run() {
    ComPtr<IMediaControl> control;
    if (Failed(QueryInterface(control)) || !control) return false;
    CheckGraphResult(control->Run());
    return true;
}

bool TFilterGraph::Stop() {
    ComPtr<IMediaControl> control;
    if (Failed(QueryInterface(control)) || !control) return false;
    return CheckGraphResult(control->Stop()) == S_OK;
}

void TFilterGraph::ClearGraph() {
    if (!graphBuilder_) return;
    Stop();
    std::vector<ComPtr<IBaseFilter>> filters;
    graphBuilder_->EnumFilters(filters);
    for (const ComPtr<IBaseFilter>& filter : filters) {
        std::vector<ComPtr<IPin>> pins;
        filter->EnumPins(pins);
        for (const ComPtr<IPin>& pin : pins) CheckGraphResult(pin->Disconnect());
    }
    graphBuilder_->EnumFilters(filters);
    if (members_) {
        for (const ComPtr<IGraphMember>& member : *members_) {
            ComPtr<IBaseFilter> own = member->GetFilter();
            std::erase_if(filters, [&own](const ComPtr<IBaseFilter>& filter) { return filter == own; });
        }
    }
    for (const ComPtr<IBaseFilter>& filter : filters)
        CheckGraphResult(graphBuilder_->RemoveFilter(filter.Get()));
}

HRESULT TFilterGraph::QueryInterface(const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!active_) return E_NOINTERFACE;
    auto ask = [&](IUnknown* source) { return source && Succeeded(source->QueryInterface(iid, object)); };
    switch (mode_) {
        case gmNormal:
            if (ask(graphBuilder_.Get())) return S_OK;
            break;
        case gmCapture:
            if (ask(captureGraphBuilder_.Get()) || ask(graphBuilder_.Get())) return S_OK;
            break;
        case gmDVD:
            if (ask(dvdGraphBuilder_.Get())) return S_OK;
            if (dvdGraphBuilder_ && Succeeded(dvdGraphBuilder_->GetDvdInterface(iid, object))) return S_OK;
            if (ask(graphBuilder_.Get())) return S_OK;
            break;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TFilterGraph::CheckGraphResult(HRESULT result) {
    if (Succeeded(result)) return result;
    char text[255];
    AMGetErrorTextA(result, text, sizeof text);
    char code[24];
    std::snprintf(code, sizeof code, " ($%08X).", static_cast<unsigned>(result));
    throw EDirectShowException(std::string(text) + code, result);
}

void TFilterGraph::OnNotifyMessage(std::uint32_t message) {
    if (message != WM_GRAPHNOTIFY) return;
    try {
        HandleGraphEvents();
    } catch (const std::exception& error) {
        if (ShowError)
            ShowError(error.what());
        else
            qWarning("%s", error.what());
    }
}

void TFilterGraph::HandleGraphEvents() {
    if (!mediaEvent_) return;
    std::int32_t code = 0;
    std::intptr_t param1 = 0;
    std::intptr_t param2 = 0;
    // The interface is held by a local reference: a handler may deactivate the graph.
    ComPtr<IMediaEventEx> events = mediaEvent_;
    while (events->GetEvent(code, param1, param2, 0) == S_OK) {
        DoGraphEvent(code, param1, param2);
        events->FreeEventParams(code, param1, param2);
        if (!mediaEvent_) break;
    }
}

}  // namespace flipbook
