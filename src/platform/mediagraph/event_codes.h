// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace flipbook {

// Graph event codes. The service itself queues EC_COMPLETE (end of stream), EC_ERRORABORT (a
// streaming error, param1 the result), EC_CLOCK_CHANGED and EC_CLOCK_UNSET; the others reach a
// graph through IMediaEventSink.
inline constexpr std::int32_t EC_COMPLETE = 1;
inline constexpr std::int32_t EC_USERABORT = 2;
inline constexpr std::int32_t EC_ERRORABORT = 3;
inline constexpr std::int32_t EC_STREAM_ERROR_STOPPED = 6;
inline constexpr std::int32_t EC_STREAM_ERROR_STILLPLAYING = 7;
inline constexpr std::int32_t EC_ERROR_STILLPLAYING = 8;
inline constexpr std::int32_t EC_PALETTE_CHANGED = 9;
inline constexpr std::int32_t EC_VIDEO_SIZE_CHANGED = 10;
inline constexpr std::int32_t EC_QUALITY_CHANGE = 11;
inline constexpr std::int32_t EC_CLOCK_CHANGED = 13;
inline constexpr std::int32_t EC_PAUSED = 14;
inline constexpr std::int32_t EC_OPENING_FILE = 16;
inline constexpr std::int32_t EC_BUFFERING_DATA = 17;
inline constexpr std::int32_t EC_FULLSCREEN_LOST = 18;
inline constexpr std::int32_t EC_OLE_EVENT = 24;
inline constexpr std::int32_t EC_STREAM_CONTROL_STOPPED = 26;
inline constexpr std::int32_t EC_STREAM_CONTROL_STARTED = 27;
inline constexpr std::int32_t EC_END_OF_SEGMENT = 28;
inline constexpr std::int32_t EC_DEVICE_LOST = 31;
inline constexpr std::int32_t EC_STEP_COMPLETE = 36;
inline constexpr std::int32_t EC_TIMECODE_AVAILABLE = 48;
inline constexpr std::int32_t EC_EXTDEVICE_MODE_CHANGE = 49;
inline constexpr std::int32_t EC_GRAPH_CHANGED = 80;
inline constexpr std::int32_t EC_CLOCK_UNSET = 81;
inline constexpr std::int32_t EC_VMR_RENDERDEVICE_SET = 83;
inline constexpr std::int32_t EC_SNDDEV_IN_ERROR = 512;
inline constexpr std::int32_t EC_SNDDEV_OUT_ERROR = 513;

inline constexpr std::int32_t EC_DVD_DOMAIN_CHANGE = 257;
inline constexpr std::int32_t EC_DVD_TITLE_CHANGE = 258;
inline constexpr std::int32_t EC_DVD_CHAPTER_START = 259;
inline constexpr std::int32_t EC_DVD_AUDIO_STREAM_CHANGE = 260;
inline constexpr std::int32_t EC_DVD_SUBPICTURE_STREAM_CHANGE = 261;
inline constexpr std::int32_t EC_DVD_ANGLE_CHANGE = 262;
inline constexpr std::int32_t EC_DVD_BUTTON_CHANGE = 263;
inline constexpr std::int32_t EC_DVD_VALID_UOPS_CHANGE = 264;
inline constexpr std::int32_t EC_DVD_STILL_ON = 265;
inline constexpr std::int32_t EC_DVD_STILL_OFF = 266;
inline constexpr std::int32_t EC_DVD_CURRENT_TIME = 267;
inline constexpr std::int32_t EC_DVD_ERROR = 268;
inline constexpr std::int32_t EC_DVD_WARNING = 269;
inline constexpr std::int32_t EC_DVD_CHAPTER_AUTOSTOP = 270;
inline constexpr std::int32_t EC_DVD_NO_FP_PGC = 271;
inline constexpr std::int32_t EC_DVD_PLAYBACK_RATE_CHANGE = 272;
inline constexpr std::int32_t EC_DVD_PARENTAL_LEVEL_CHANGE = 273;
inline constexpr std::int32_t EC_DVD_PLAYBACK_STOPPED = 274;
inline constexpr std::int32_t EC_DVD_ANGLES_AVAILABLE = 275;
inline constexpr std::int32_t EC_DVD_PLAYPERIOD_AUTOSTOP = 276;
inline constexpr std::int32_t EC_DVD_BUTTON_AUTO_ACTIVATED = 277;
inline constexpr std::int32_t EC_DVD_CMD_START = 278;
inline constexpr std::int32_t EC_DVD_CMD_END = 279;
inline constexpr std::int32_t EC_DVD_DISC_EJECTED = 280;
inline constexpr std::int32_t EC_DVD_DISC_INSERTED = 281;
inline constexpr std::int32_t EC_DVD_CURRENT_HMSF_TIME = 282;
inline constexpr std::int32_t EC_DVD_KARAOKE_MODE = 283;

// param1 of EC_DVD_DOMAIN_CHANGE, EC_DVD_ERROR and EC_DVD_WARNING.
enum DvdDomain : std::int32_t {
    DVD_DOMAIN_FirstPlay = 1,
    DVD_DOMAIN_VideoManagerMenu,
    DVD_DOMAIN_VideoTitleSetMenu,
    DVD_DOMAIN_Title,
    DVD_DOMAIN_Stop
};
enum DvdError : std::int32_t {
    DVD_ERROR_Unexpected = 1,
    DVD_ERROR_CopyProtectFail,
    DVD_ERROR_InvalidDVD1_0Disc,
    DVD_ERROR_InvalidDiscRegion,
    DVD_ERROR_LowParentalLevel,
    DVD_ERROR_MacrovisionFail,
    DVD_ERROR_IncompatibleSystemAndDecoderRegions,
    DVD_ERROR_IncompatibleDiscAndDecoderRegions
};
enum DvdWarning : std::int32_t {
    DVD_WARNING_InvalidDVD1_0Disc = 1,
    DVD_WARNING_FormatNotSupported,
    DVD_WARNING_IllegalNavCommand,
    DVD_WARNING_Open,
    DVD_WARNING_Seek,
    DVD_WARNING_Read
};

}  // namespace flipbook
