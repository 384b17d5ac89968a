// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/graph_member.h"
#include "platform/core/exception.h"
#include "platform/mediagraph/graph.h"

namespace flipbook {

class TGraphNotifyWindow;

// A failure answer of the media graph service: "<text> ($XXXXXXXX)." with the failing code.
class EDirectShowException : public Exception {
public:
    EDirectShowException(const std::string& message, HRESULT errorCode)
        : Exception(message), errorCode_(errorCode) {}
    HRESULT ErrorCode() const { return errorCode_; }

private:
    HRESULT errorCode_;
};

// Which graph objects activation creates.
enum TGraphMode : std::int32_t { gmNormal, gmCapture, gmDVD };

// The message the service posts to the notify window when graph events are queued.
inline constexpr std::uint32_t WM_GRAPHNOTIFY = WM_APP + 1;

// Owns one media graph of the service while active: adds its members' filters to it and takes them
// out again, runs, stops and clears it, turns its queued events into the events below on the
// user-interface thread, and can register it for inspection tools and have it log to a file. Every
// operation runs on the user-interface thread, which must run a Qt event loop for events to arrive.
class TFilterGraph {
public:
    TFilterGraph();
    virtual ~TFilterGraph();
    TFilterGraph(const TFilterGraph&) = delete;
    TFilterGraph& operator=(const TFilterGraph&) = delete;

    bool Active() const { return active_; }
    void SetActive(bool value);
    // Become active when the owner has finished loading (see Loaded).
    bool AutoCreate() const { return autoCreate_; }
    void SetAutoCreate(bool value) { autoCreate_ = value; }
    // The owner's end of loading: activates when AutoCreate is set.
    void Loaded();
    TGraphMode Mode() const { return mode_; }
    // A different mode rebuilds an active graph in the new mode, its members added again.
    void SetMode(TGraphMode value);
    // Keep the graph registered in the running object table while active.
    bool GraphEdit() const { return graphEdit_; }
    void SetGraphEdit(bool value);
    // The file the service logs into while active; empty for none. A file that cannot be created
    // leaves logging off and the setting unchanged, silently.
    const std::string& LogFile() const { return logFile_; }
    void SetLogFile(const std::string& value);

    // Called by a member when its graph setting changes; while active its filter goes in or out.
    void AttachMember(IGraphMember* member);
    void DetachMember(IGraphMember* member);
    std::size_t MemberCount() const { return members_ ? members_->size() : 0; }

    // False when inactive; true for every success answer. A failure raises EDirectShowException.
    bool Run();
    // False when inactive or when the graph answers anything but S_OK; a failure raises.
    bool Stop();
    // Stops the graph, breaks every connection and removes every filter that is not a member's;
    // a failure raises EDirectShowException and leaves the graph partly cleared.
    void ClearGraph();

    // This component's own interfaces, then (while active) the mode's graph objects in turn.
    HRESULT QueryInterface(const IID& iid, void** object);
    template <class T>
    HRESULT QueryInterface(ComPtr<T>& result) {
        return QueryInterface(T::kIid, result.PutVoid());
    }
    // Raises EDirectShowException for a failure result; returns the result otherwise.
    HRESULT CheckGraphResult(HRESULT result);

    // Takes every queued graph event and raises its events.
    void HandleGraphEvents();
    // Raises OnDSEvent, then the typed event of the code.
    virtual void DoGraphEvent(std::int32_t event, std::intptr_t param1, std::intptr_t param2);

    // Shows an error raised while events were handled; without one, it goes to the standard error
    // output. The application sets its standard error box here.
    std::function<void(const std::string& message)> ShowError;

    using TNotifyEvent = std::function<void(TFilterGraph& sender)>;
    using TResultEvent = std::function<void(TFilterGraph& sender, HRESULT result)>;
    using TValueEvent = std::function<void(TFilterGraph& sender, std::int32_t value)>;
    using TPairEvent = std::function<void(TFilterGraph& sender, std::int32_t first, std::int32_t second)>;
    using TFlagEvent = std::function<void(TFilterGraph& sender, bool flag)>;

    TNotifyEvent OnActivate;
    std::function<void(TFilterGraph& sender, std::int32_t event, std::intptr_t param1, std::intptr_t param2)>
        OnDSEvent;

    std::function<void(TFilterGraph& sender, HRESULT result, IBaseFilter* renderer)> OnGraphComplete;
    TNotifyEvent OnGraphUserAbort;
    // The result, and the failing element's own words (param2; empty when none were given).
    std::function<void(TFilterGraph& sender, HRESULT result, const std::string& message)> OnGraphErrorAbort;
    TPairEvent OnGraphStreamErrorStopped;       // operation, value
    TPairEvent OnGraphStreamErrorStillPlaying;  // operation, value
    TResultEvent OnGraphErrorStillPlaying;
    TNotifyEvent OnGraphPaletteChanged;
    TPairEvent OnGraphVideoSizeChanged;  // width, height
    TNotifyEvent OnGraphQualityChange;
    TNotifyEvent OnGraphClockChanged;
    TResultEvent OnGraphPaused;
    TFlagEvent OnGraphOpeningFile;
    TFlagEvent OnGraphBufferingData;
    std::function<void(TFilterGraph& sender, IBaseFilter* renderer)> OnGraphFullscreenLost;
    std::function<void(TFilterGraph& sender, const std::string& string1, const std::string& string2)>
        OnGraphOleEvent;
    std::function<void(TFilterGraph& sender, IPin* pinSender, std::int32_t cookie)>
        OnGraphStreamControlStopped;
    std::function<void(TFilterGraph& sender, IPin* pinSender, std::int32_t cookie)>
        OnGraphStreamControlStarted;
    std::function<void(TFilterGraph& sender, std::int64_t streamTime, std::int32_t numSegment)>
        OnGraphEndOfSegment;
    std::function<void(TFilterGraph& sender, IUnknown* device, bool removed)> OnGraphDeviceLost;
    TNotifyEvent OnGraphStepComplete;
    std::function<void(TFilterGraph& sender, IBaseFilter* from, std::int32_t deviceId)>
        OnGraphTimeCodeAvailable;
    TPairEvent OnGraphEXTDeviceModeChange;  // new mode, device id
    TNotifyEvent OnGraphChanged;
    TNotifyEvent OnGraphClockUnset;
    TValueEvent OnGraphVMRRenderDevice;  // render device
    TPairEvent OnGraphSNDDevInError;     // occur when, error code
    TPairEvent OnGraphSNDDevOutError;    // occur when, error code

    TNotifyEvent OnDVDDomainFirstPlay;
    TNotifyEvent OnDVDDomainVideoManagerMenu;
    TNotifyEvent OnDVDDomainVideoTitleSetMenu;
    TNotifyEvent OnDVDDomainTitle;
    TNotifyEvent OnDVDDomainStop;
    TValueEvent OnDVDTitleChange;            // title
    TValueEvent OnDVDChapterStart;           // chapter
    TValueEvent OnDVDAudioStreamChange;      // stream
    TPairEvent OnDVDSubpictureStreamChange;  // stream, shown
    TPairEvent OnDVDAngleChange;             // number of angles, current angle
    TPairEvent OnDVDButtonChange;            // number of buttons, current button
    TValueEvent OnDVDValidUOPSChange;        // user operations
    TPairEvent OnDVDStillOn;                 // no button available, seconds
    TNotifyEvent OnDVDStillOff;
    TPairEvent OnDVDCurrentTime;  // time code, frame-rate flags
    TNotifyEvent OnDVDErrorUnexpected;
    TNotifyEvent OnDVDErrorCopyProtectFail;
    TNotifyEvent OnDVDErrorInvalidDVD1_0Disc;
    TNotifyEvent OnDVDErrorInvalidDiscRegion;
    TNotifyEvent OnDVDErrorLowParentalLevel;
    TNotifyEvent OnDVDErrorMacrovisionFail;
    TNotifyEvent OnDVDErrorIncompatibleSystemAndDecoderRegions;
    TNotifyEvent OnDVDErrorIncompatibleDiscAndDecoderRegions;
    TValueEvent OnDVDWarningInvalidDVD1_0Disc;  // each warning: its detail (param2)
    TValueEvent OnDVDWarningFormatNotSupported;
    TValueEvent OnDVDWarningIllegalNavCommand;
    TValueEvent OnDVDWarningOpen;
    TValueEvent OnDVDWarningSeek;
    TValueEvent OnDVDWarningRead;
    TNotifyEvent OnDVDChapterAutoStop;
    TNotifyEvent OnDVDNoFP_PGC;
    TValueEvent OnDVDPlaybackRateChange;   // rate × 10000
    TValueEvent OnDVDParentalLevelChange;  // level
    TValueEvent OnDVDPlaybackStopped;      // reason
    TFlagEvent OnDVDAnglesAvailable;
    TNotifyEvent OnDVDPlayPeriodAutoStop;
    TValueEvent OnDVDButtonAutoActivated;  // button
    TValueEvent OnDVDCMDStart;             // command id
    TValueEvent OnDVDCMDEnd;               // command id
    TNotifyEvent OnDVDDiscEjected;
    TNotifyEvent OnDVDDiscInserted;
    TPairEvent OnDVDCurrentHMSFTime;  // time code, flags
    TValueEvent OnDVDKaraokeMode;     // played

private:
    void Activate();
    void Deactivate();
    void AddMemberFilter(IGraphMember* member);
    void RemoveMemberFilter(IGraphMember* member);
    void RegisterGraphInRot();
    void RevokeGraphFromRot();
    bool OpenLog(const std::string& name);
    void CloseLog();
    void OnNotifyMessage(std::uint32_t message);
    void DoDvdEvent(std::int32_t event, std::intptr_t param1, std::intptr_t param2);

    bool active_ = false;
    bool autoCreate_ = false;
    TGraphMode mode_ = gmNormal;
    bool graphEdit_ = false;
    std::string logFile_;

    std::unique_ptr<TGraphNotifyWindow> notifyWindow_;
    std::unique_ptr<std::vector<ComPtr<IGraphMember>>> members_;
    ComPtr<IGraphBuilder> graphBuilder_;
    ComPtr<ICaptureGraphBuilder2> captureGraphBuilder_;
    ComPtr<IDvdGraphBuilder> dvdGraphBuilder_;
    ComPtr<IMediaEventEx> mediaEvent_;
    std::uint32_t rotCookie_ = 0;
    int logDescriptor_ = -1;
};

}  // namespace flipbook
