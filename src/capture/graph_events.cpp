// SPDX-License-Identifier: GPL-3.0-or-later
// How TFilterGraph turns a graph event into its typed events.

#include "capture/filter_graph.h"

namespace flipbook {

namespace {

std::int32_t Low32(std::intptr_t value) {
    return static_cast<std::int32_t>(value);
}

template <class Event, class... Arguments>
void Raise(const Event& event, TFilterGraph& sender, Arguments&&... arguments) {
    if (event) event(sender, std::forward<Arguments>(arguments)...);
}

// Text parameters are NUL-terminated UTF-8; none gives an empty text.
std::string TextParameter(std::intptr_t param) {
    const char* text = reinterpret_cast<const char*>(param);
    return text ? text : "";
}

template <class T>
T* PointerParameter(std::intptr_t param) {
    return reinterpret_cast<T*>(param);
}

}  // namespace

void TFilterGraph::DoGraphEvent(std::int32_t event, std::intptr_t param1, std::intptr_t param2) {
    if (OnDSEvent) OnDSEvent(*this, event, param1, param2);
    switch (event) {
        case EC_COMPLETE:
            Raise(OnGraphComplete, *this, Low32(param1), PointerParameter<IBaseFilter>(param2));
            break;
        case EC_USERABORT:
            Raise(OnGraphUserAbort, *this);
            break;
        case EC_ERRORABORT:
            Raise(OnGraphErrorAbort, *this, Low32(param1), TextParameter(param2));
            break;
        case EC_STREAM_ERROR_STOPPED:
            Raise(OnGraphStreamErrorStopped, *this, Low32(param1), Low32(param2));
            break;
        case EC_STREAM_ERROR_STILLPLAYING:
            Raise(OnGraphStreamErrorStillPlaying, *this, Low32(param1), Low32(param2));
            break;
        case EC_ERROR_STILLPLAYING:
            Raise(OnGraphErrorStillPlaying, *this, Low32(param1));
            break;
        case EC_PALETTE_CHANGED:
            Raise(OnGraphPaletteChanged, *this);
            break;
        case EC_VIDEO_SIZE_CHANGED:
            Raise(OnGraphVideoSizeChanged, *this, Low32(param1 & 0xFFFF), Low32((param1 >> 16) & 0xFFFF));
            break;
        case EC_QUALITY_CHANGE:
            Raise(OnGraphQualityChange, *this);
            break;
        case EC_CLOCK_CHANGED:
            Raise(OnGraphClockChanged, *this);
            break;
        case EC_PAUSED:
            Raise(OnGraphPaused, *this, Low32(param1));
            break;
        case EC_OPENING_FILE:
            Raise(OnGraphOpeningFile, *this, param1 == 1);
            break;
        case EC_BUFFERING_DATA:
            Raise(OnGraphBufferingData, *this, param1 == 1);
            break;
        case EC_FULLSCREEN_LOST:
            Raise(OnGraphFullscreenLost, *this, PointerParameter<IBaseFilter>(param2));
            break;
        case EC_OLE_EVENT:
            Raise(OnGraphOleEvent, *this, TextParameter(param1), TextParameter(param2));
            break;
        case EC_STREAM_CONTROL_STOPPED:
            Raise(OnGraphStreamControlStopped, *this, PointerParameter<IPin>(param1), Low32(param2));
            break;
        case EC_STREAM_CONTROL_STARTED:
            Raise(OnGraphStreamControlStarted, *this, PointerParameter<IPin>(param1), Low32(param2));
            break;
        case EC_END_OF_SEGMENT: {
            // param1 points at the segment's stream time; a missing one reads as 0 rather than crashing.
            const std::int64_t* streamTime = PointerParameter<const std::int64_t>(param1);
            Raise(OnGraphEndOfSegment, *this, streamTime ? *streamTime : 0, Low32(param2));
            break;
        }
        case EC_DEVICE_LOST:
            Raise(OnGraphDeviceLost, *this, PointerParameter<IUnknown>(param1), param2 == 1);
            break;
        case EC_STEP_COMPLETE:
            Raise(OnGraphStepComplete, *this);
            break;
        case EC_TIMECODE_AVAILABLE:
            Raise(OnGraphTimeCodeAvailable, *this, PointerParameter<IBaseFilter>(param1), Low32(param2));
            break;
        case EC_EXTDEVICE_MODE_CHANGE:
            Raise(OnGraphEXTDeviceModeChange, *this, Low32(param1), Low32(param2));
            break;
        case EC_GRAPH_CHANGED:
            Raise(OnGraphChanged, *this);
            break;
        case EC_CLOCK_UNSET:
            Raise(OnGraphClockUnset, *this);
            break;
        case EC_VMR_RENDERDEVICE_SET:
            Raise(OnGraphVMRRenderDevice, *this, Low32(param1));
            break;
        case EC_SNDDEV_IN_ERROR:
            Raise(OnGraphSNDDevInError, *this, Low32(param1), Low32(param2));
            break;
        case EC_SNDDEV_OUT_ERROR:
            Raise(OnGraphSNDDevOutError, *this, Low32(param1), Low32(param2));
            break;
        default:
            if (event >= EC_DVD_DOMAIN_CHANGE && event <= EC_DVD_KARAOKE_MODE)
                DoDvdEvent(event, param1, param2);
            break;
    }
}

void TFilterGraph::DoDvdEvent(std::int32_t event, std::intptr_t param1, std::intptr_t param2) {
    std::int32_t first = Low32(param1);
    std::int32_t second = Low32(param2);
    switch (event) {
        case EC_DVD_DOMAIN_CHANGE:
            switch (first) {
                case DVD_DOMAIN_FirstPlay:
                    Raise(OnDVDDomainFirstPlay, *this);
                    break;
                case DVD_DOMAIN_VideoManagerMenu:
                    Raise(OnDVDDomainVideoManagerMenu, *this);
                    break;
                case DVD_DOMAIN_VideoTitleSetMenu:
                    Raise(OnDVDDomainVideoTitleSetMenu, *this);
                    break;
                case DVD_DOMAIN_Title:
                    Raise(OnDVDDomainTitle, *this);
                    break;
                case DVD_DOMAIN_Stop:
                    Raise(OnDVDDomainStop, *this);
                    break;
                default:
                    break;
            }
            break;
        case EC_DVD_TITLE_CHANGE:
            Raise(OnDVDTitleChange, *this, first);
            break;
        case EC_DVD_CHAPTER_START:
            Raise(OnDVDChapterStart, *this, first);
            break;
        case EC_DVD_AUDIO_STREAM_CHANGE:
            Raise(OnDVDAudioStreamChange, *this, first);
            break;
        case EC_DVD_SUBPICTURE_STREAM_CHANGE:
            Raise(OnDVDSubpictureStreamChange, *this, first, second);
            break;
        case EC_DVD_ANGLE_CHANGE:
            Raise(OnDVDAngleChange, *this, first, second);
            break;
        case EC_DVD_BUTTON_CHANGE:
            Raise(OnDVDButtonChange, *this, first, second);
            break;
        case EC_DVD_VALID_UOPS_CHANGE:
            Raise(OnDVDValidUOPSChange, *this, first);
            break;
        case EC_DVD_STILL_ON:
            Raise(OnDVDStillOn, *this, first, second);
            break;
        case EC_DVD_STILL_OFF:
            Raise(OnDVDStillOff, *this);
            break;
        case EC_DVD_CURRENT_TIME:
            Raise(OnDVDCurrentTime, *this, first, second);
            break;
        case EC_DVD_ERROR:
            switch (first) {
                case DVD_ERROR_Unexpected:
                    Raise(OnDVDErrorUnexpected, *this);
                    break;
                case DVD_ERROR_CopyProtectFail:
                    Raise(OnDVDErrorCopyProtectFail, *this);
                    break;
                case DVD_ERROR_InvalidDVD1_0Disc:
                    Raise(OnDVDErrorInvalidDVD1_0Disc, *this);
                    break;
                case DVD_ERROR_InvalidDiscRegion:
                    Raise(OnDVDErrorInvalidDiscRegion, *this);
                    break;
                case DVD_ERROR_LowParentalLevel:
                    Raise(OnDVDErrorLowParentalLevel, *this);
                    break;
                case DVD_ERROR_MacrovisionFail:
                    Raise(OnDVDErrorMacrovisionFail, *this);
                    break;
                case DVD_ERROR_IncompatibleSystemAndDecoderRegions:
                    Raise(OnDVDErrorIncompatibleSystemAndDecoderRegions, *this);
                    break;
                case DVD_ERROR_IncompatibleDiscAndDecoderRegions:
                    Raise(OnDVDErrorIncompatibleDiscAndDecoderRegions, *this);
                    break;
                default:
                    break;
            }
            break;
        case EC_DVD_WARNING:
            switch (first) {
                case DVD_WARNING_InvalidDVD1_0Disc:
                    Raise(OnDVDWarningInvalidDVD1_0Disc, *this, second);
                    break;
                case DVD_WARNING_FormatNotSupported:
                    Raise(OnDVDWarningFormatNotSupported, *this, second);
                    break;
                case DVD_WARNING_IllegalNavCommand:
                    Raise(OnDVDWarningIllegalNavCommand, *this, second);
                    break;
                case DVD_WARNING_Open:
                    Raise(OnDVDWarningOpen, *this, second);
                    break;
                case DVD_WARNING_Seek:
                    Raise(OnDVDWarningSeek, *this, second);
                    break;
                case DVD_WARNING_Read:
                    Raise(OnDVDWarningRead, *this, second);
                    break;
                default:
                    break;
            }
            break;
        case EC_DVD_CHAPTER_AUTOSTOP:
            Raise(OnDVDChapterAutoStop, *this);
            break;
        case EC_DVD_NO_FP_PGC:
            Raise(OnDVDNoFP_PGC, *this);
            break;
        case EC_DVD_PLAYBACK_RATE_CHANGE:
            Raise(OnDVDPlaybackRateChange, *this, first);
            break;
        case EC_DVD_PARENTAL_LEVEL_CHANGE:
            Raise(OnDVDParentalLevelChange, *this, first);
            break;
        case EC_DVD_PLAYBACK_STOPPED:
            Raise(OnDVDPlaybackStopped, *this, first);
            break;
        case EC_DVD_ANGLES_AVAILABLE:
            Raise(OnDVDAnglesAvailable, *this, first == 1);
            break;
        case EC_DVD_PLAYPERIOD_AUTOSTOP:
            Raise(OnDVDPlayPeriodAutoStop, *this);
            break;
        case EC_DVD_BUTTON_AUTO_ACTIVATED:
            Raise(OnDVDButtonAutoActivated, *this, first);
            break;
        case EC_DVD_CMD_START:
            Raise(OnDVDCMDStart, *this, first);
            break;
        case EC_DVD_CMD_END:
            Raise(OnDVDCMDEnd, *this, first);
            break;
        case EC_DVD_DISC_EJECTED:
            Raise(OnDVDDiscEjected, *this);
            break;
        case EC_DVD_DISC_INSERTED:
            Raise(OnDVDDiscInserted, *this);
            break;
        case EC_DVD_CURRENT_HMSF_TIME:
            Raise(OnDVDCurrentHMSFTime, *this, first, second);
            break;
        case EC_DVD_KARAOKE_MODE:
            Raise(OnDVDKaraokeMode, *this, first);
            break;
        default:
            break;
    }
}

}  // namespace flipbook
