// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include "capture/graph_member_component.h"
#include "capture/persistent_memory.h"

namespace flipbook {

// A graph member standing for one filter given by a stored moniker: while its graph is active the
// moniker is bound and the filter is in the graph.
class TFilter : public TGraphMemberComponent<> {
public:
    explicit TFilter(std::string name);
    // Leaves its graph.
    ~TFilter() override;

    TBaseFilter& BaseFilter() { return baseFilter_; }
    const TBaseFilter& BaseFilter() const { return baseFilter_; }

    HRESULT NotifyMember(TMemberOperation operation, std::int32_t param) override;

private:
    TBaseFilter baseFilter_;
};

}  // namespace flipbook
