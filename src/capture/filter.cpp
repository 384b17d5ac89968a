// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/filter.h"

namespace flipbook {

TFilter::TFilter(std::string name) : TGraphMemberComponent(std::move(name)) {}

TFilter::~TFilter() {
    SetFilterGraph(nullptr);
}

HRESULT TFilter::NotifyMember(TMemberOperation operation, std::int32_t /*param*/) {
    switch (operation) {
        case moAdding:
            filter_ = baseFilter_.CreateFilter();
            break;
        case moAdded:
            break;
        case moRemoving:
            if (filter_) filter_->Stop();
            break;
        case moRemoved:
            filter_.Reset();
            break;
        case moRefresh:
            // An active graph takes the filter out, binds the moniker again and adds it back.
            if (TFilterGraph* graph = FilterGraph()) {
                graph->DetachMember(this);
                graph->AttachMember(this);
            }
            break;
    }
    return S_OK;
}

}  // namespace flipbook
