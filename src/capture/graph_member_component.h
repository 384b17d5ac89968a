// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>

#include "capture/filter_graph.h"
#include "capture/graph_member.h"

namespace flipbook {

// What the two member components share: a name, the graph they belong to and the filter they put
// into it. The component's lifetime is its owner's business, so its interfaces are not counted; the
// graph holds them only while the component is attached. Everything here runs on the user-interface
// thread.
template <class... OwnInterfaces>
class TGraphMemberComponent : public UncountedObject<IGraphMember, OwnInterfaces...> {
public:
    explicit TGraphMemberComponent(std::string name) : name_(std::move(name)) {}

    TFilterGraph* FilterGraph() const { return filterGraph_; }
    // Leaves the current graph (which takes the filter out when active) and joins the new one.
    void SetFilterGraph(TFilterGraph* graph) {
        if (graph == filterGraph_) return;
        if (filterGraph_) filterGraph_->DetachMember(this);
        if (graph) graph->AttachMember(this);
        filterGraph_ = graph;
    }
    // The owner is freeing graph: a component of that graph forgets it without detaching.
    void GraphRemoved(const TFilterGraph& graph) {
        if (&graph == filterGraph_) filterGraph_ = nullptr;
    }

    ComPtr<IBaseFilter> GetFilter() override { return filter_; }
    std::string GetName() override { return name_; }

protected:
    ~TGraphMemberComponent() override = default;

    // Interfaces the component itself lacks are the filter's, while it has one.
    HRESULT QueryOtherInterface(const IID& iid, void** object) override {
        if (filter_) return filter_->QueryInterface(iid, object);
        return E_NOINTERFACE;
    }

    ComPtr<IBaseFilter> filter_;

private:
    std::string name_;
    TFilterGraph* filterGraph_ = nullptr;
};

}  // namespace flipbook
