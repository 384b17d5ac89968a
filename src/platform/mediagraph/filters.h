// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "platform/com/unknown.h"
#include "platform/mediagraph/media_type.h"

namespace flipbook {

enum class PinDirection { Input, Output };

// A connection point of a filter.
class IPin : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A86891-0AD4-11CE-B03A-0020AF0BA770}");

    // Breaks the pin's connection; S_FALSE when it had none.
    virtual HRESULT Disconnect() = 0;
    // The pin at the other end; VFW_E_NOT_CONNECTED when there is none.
    virtual HRESULT ConnectedTo(ComPtr<IPin>& other) = 0;
    virtual HRESULT QueryDirection(PinDirection& direction) = 0;
    // The pin's name, unique within its filter.
    virtual HRESULT QueryId(std::string& id) = 0;
};

// A filter of a graph: an element with its pins.
class IBaseFilter : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");

    // The filter's pins, inputs first, each in the element's order.
    virtual HRESULT EnumPins(std::vector<ComPtr<IPin>>& pins) = 0;
    // Stops this filter alone, releasing its streaming resources.
    virtual HRESULT Stop() = 0;
};

}  // namespace flipbook
