// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/mediagraph/event_codes.h"
#include "platform/mediagraph/filters.h"

namespace flipbook {

inline constexpr CLSID CLSID_FilterGraph = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
inline constexpr CLSID CLSID_CaptureGraphBuilder2 = MakeGuid("{BF87B6E1-8C27-11D0-B3F0-00AA003761C5}");
inline constexpr CLSID CLSID_DvdGraphBuilder = MakeGuid("{FCC152B7-F372-11D0-8E00-00C04FD7C08B}");

// The filters of one graph.
class IFilterGraph : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A8689F-0AD4-11CE-B03A-0020AF0BA770}");

    // Adds a filter under a name unique in the graph (a taken or empty name gets a number appended);
    // E_POINTER for no filter, E_INVALIDARG for a filter that is not ours or already in a graph.
    virtual HRESULT AddFilter(IBaseFilter* filter, const std::string& name) = 0;
    // Stops the filter, breaks its connections and takes it out; VFW_E_NOT_FOUND when not in the graph.
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    // The graph's filters in the order they were added.
    virtual HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>& filters) = 0;
    virtual HRESULT FindFilterByName(const std::string& name, ComPtr<IBaseFilter>& filter) = 0;
};

class IGraphBuilder : public IFilterGraph {
public:
    static constexpr IID kIid = MakeGuid("{36B73882-C2C8-11CF-8B46-00805F6CEF60}");
    using Parent = IFilterGraph;

    // Writes the graph's debug log to the open file descriptor until called with 0. The descriptor is
    // duplicated, so the caller may close its own after switching the log off. E_INVALIDARG for a
    // descriptor that is not open for writing.
    virtual HRESULT SetLogFile(std::intptr_t file) = 0;
};

// Connects filters of a graph through the converters their media types need.
class ICaptureGraphBuilder2 : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{93E5A4E0-2D50-11D2-ABFA-00A0C9C6E38D}");

    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(ComPtr<IGraphBuilder>& graph) = 0;
    // Links source's free output to sink's free input, adding decoders and colour converters to the
    // graph as the sink's media type needs; no scaling. Category, type and intermediate filter are
    // not supported (E_NOTIMPL unless null); a null sink is VFW_E_CANNOT_RENDER. Both filters must
    // be in the graph (VFW_E_NOT_IN_GRAPH); VFW_E_CANNOT_CONNECT when no link can be made.
    virtual HRESULT RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                 IBaseFilter* intermediate, IBaseFilter* sink) = 0;
};

// The DVD graph builder: declared so callers can ask for it, but no class implements it here.
class IDvdGraphBuilder : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{FCC152B6-F372-11D0-8E00-00C04FD7C08B}");

    virtual HRESULT GetFiltergraph(ComPtr<IGraphBuilder>& graph) = 0;
    virtual HRESULT GetDvdInterface(const IID& iid, void** object) = 0;
};

// Running state of a graph.
class IMediaControl : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A868B1-0AD4-11CE-B03A-0020AF0BA770}");

    // S_OK when running, S_FALSE while it is still getting there; a failure when it cannot run.
    virtual HRESULT Run() = 0;
    // Stops the graph and its streaming threads; S_OK when stopped.
    virtual HRESULT Stop() = 0;
};

// Where the service signals that graph events are queued: PostNotify is called on the thread that
// queued the event and must hand the message on to the user-interface thread.
class INotifyTarget {
public:
    virtual void PostNotify(std::uint32_t message, std::intptr_t instance) = 0;

protected:
    virtual ~INotifyTarget() = default;
};

// The graph's queued events.
class IMediaEvent : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A868B6-0AD4-11CE-B03A-0020AF0BA770}");

    // Takes the oldest queued event: S_OK with its code and parameters, E_ABORT when none is queued.
    // Only a timeout of 0 is supported.
    virtual HRESULT GetEvent(std::int32_t& code, std::intptr_t& param1, std::intptr_t& param2,
                             std::int32_t timeout) = 0;
    virtual HRESULT FreeEventParams(std::int32_t code, std::intptr_t param1, std::intptr_t param2) = 0;
};

class IMediaEventEx : public IMediaEvent {
public:
    static constexpr IID kIid = MakeGuid("{56A868C0-0AD4-11CE-B03A-0020AF0BA770}");
    using Parent = IMediaEvent;

    // Has message and instance posted to target whenever an event is queued; null stops it. Once this
    // returns, the old target receives no more posts.
    virtual HRESULT SetNotifyWindow(INotifyTarget* target, std::uint32_t message, std::intptr_t instance) = 0;
    // 0 enables the posting, 1 disables it.
    virtual HRESULT SetNotifyFlags(std::int32_t flags) = 0;
};

// Lets filters and other threads queue an event on the graph.
class IMediaEventSink : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{56A868A2-0AD4-11CE-B03A-0020AF0BA770}");

    virtual HRESULT Notify(std::int32_t code, std::intptr_t param1, std::intptr_t param2) = 0;
};

// A readable account of a graph, for the inspection tool.
class IGraphDescription : public IUnknown {
public:
    static constexpr IID kIid = MakeGuid("{0D3C6B4E-5F21-4C8A-9E7B-2A41F0C9D812}");

    // One line per filter ("filter NAME"), then one per connection ("NAME.PIN -> NAME.PIN").
    virtual std::string Describe() = 0;
};

inline constexpr std::uint32_t WM_APP = 0x8000;

}  // namespace flipbook
