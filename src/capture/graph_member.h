// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "platform/mediagraph/filters.h"

namespace flipbook {

// What a member is told as its filter goes into or out of a graph.
enum TMemberOperation : std::int32_t { moAdding, moAdded, moRemoving, moRemoved, moRefresh };

// Implemented by the components whose filters a TFilterGraph adds to its graph.
class IGraphMember : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{3E1B7C42-90A5-4F6D-B2C8-5D7E1A0F9B63}");

    // The member's filter, possibly none.
    virtual ComPtr<IBaseFilter> GetFilter() = 0;
    // The member component's name; it becomes the filter's name in the graph.
    virtual std::string GetName() = 0;
    // param is always 0.
    virtual HRESULT NotifyMember(TMemberOperation operation, std::int32_t param) = 0;
};

}  // namespace flipbook
