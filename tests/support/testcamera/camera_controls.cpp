// SPDX-License-Identifier: GPL-3.0-or-later
// The test camera's controls (see camera_controls.h): a source element derived from the plain one,
// whose properties are the camera's controls and whose frames carry their effect.

#include "camera_controls.h"

#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>

#include "camera_source.h"

#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace {

constexpr int kExposureDefault = 250;
constexpr int kExposurePerLevel = 10;
constexpr int kTemperatureDefault = 4600;
constexpr int kTemperaturePerLevel = 100;
constexpr int kManualExposure = 1;
constexpr int kAperturePriority = 3;

// What one camera holds, read by its streaming thread and set from the window's.
struct ControlMemory {
    std::atomic<int> exposureAuto{kAperturePriority};
    std::atomic<int> exposure{kExposureDefault};
    std::atomic<bool> whiteBalanceAuto{true};
    std::atomic<int> temperature{kTemperatureDefault};
    std::atomic<bool> focusAuto{true};
    std::atomic<int> focus{0};
    std::atomic<int> brightness{0};
    std::atomic<int> powerLine{1};
};

std::mutex memoriesLock;
std::map<std::string, std::shared_ptr<ControlMemory>>& Memories() {
    static std::map<std::string, std::shared_ptr<ControlMemory>> memories;
    return memories;
}

std::shared_ptr<ControlMemory> MemoryOf(const std::string& camera) {
    std::lock_guard lock(memoriesLock);
    std::shared_ptr<ControlMemory>& memory = Memories()[camera];
    if (!memory) memory = std::make_shared<ControlMemory>();
    return memory;
}

// A triangle wave through 0 between -amplitude and +amplitude, changing by slope a second: the way an
// automatic hunts. One clock for every camera, so a new element goes on where the last one was.
double Hunt(double amplitude, double slope, double phaseSeconds) {
    const double period = 4 * amplitude / slope;
    const double seconds = static_cast<double>(g_get_monotonic_time()) / G_USEC_PER_SEC + phaseSeconds;
    const double phase = std::fmod(seconds, period) / period;
    return amplitude * (1 - 4 * std::abs(phase - 0.5));
}

int ExposureNow(const ControlMemory& memory) {
    if (memory.exposureAuto != kManualExposure)
        return kExposureDefault + static_cast<int>(std::lround(Hunt(8, 4, 0) * kExposurePerLevel));
    return memory.exposure;
}

int TemperatureNow(const ControlMemory& memory) {
    if (memory.whiteBalanceAuto)
        return kTemperatureDefault + static_cast<int>(std::lround(Hunt(6, 3, 1.5) * kTemperaturePerLevel));
    return memory.temperature;
}

enum Property {
    kExposureAutoProperty = 1,
    kExposureProperty,
    kWhiteBalanceAutoProperty,
    kTemperatureProperty,
    kFocusAutoProperty,
    kFocusProperty,
    kBrightnessProperty,
    kPowerLineProperty,
};

GType ExposureModeType() {
    static const GEnumValue values[] = {{kManualExposure, "Manual Mode", "manual"},
                                        {kAperturePriority, "Aperture Priority Mode", "aperture-priority"},
                                        {0, nullptr, nullptr}};
    static const GType type = g_enum_register_static("FlipbookTestCameraExposureMode", values);
    return type;
}

GType PowerLineType() {
    static const GEnumValue values[] = {
        {0, "Disabled", "disabled"}, {1, "50 Hz", "50hz"}, {2, "60 Hz", "60hz"}, {0, nullptr, nullptr}};
    static const GType type = g_enum_register_static("FlipbookTestCameraPowerLine", values);
    return type;
}

guint8 Clamp(int value) {
    return static_cast<guint8>(std::clamp(value, 0, 255));
}

// Adds the levels to every sample of one component of the frame.
void AddToComponent(GstVideoFrame& frame, guint component, int levels) {
    if (levels == 0) return;
    auto* data = static_cast<guint8*>(GST_VIDEO_FRAME_COMP_DATA(&frame, component));
    const int stride = GST_VIDEO_FRAME_COMP_STRIDE(&frame, component);
    const int pixelStride = GST_VIDEO_FRAME_COMP_PSTRIDE(&frame, component);
    const int width = GST_VIDEO_FRAME_COMP_WIDTH(&frame, component);
    const int height = GST_VIDEO_FRAME_COMP_HEIGHT(&frame, component);
    for (int row = 0; row < height; ++row) {
        guint8* sample = data + row * stride;
        for (int column = 0; column < width; ++column, sample += pixelStride)
            *sample = Clamp(*sample + levels);
    }
}

// brightness levels on every colour, cast levels more red and less blue (negative: the other way).
void ApplyPicture(GstVideoFrame& frame, int brightness, int cast) {
    if (GST_VIDEO_INFO_IS_RGB(&frame.info)) {
        AddToComponent(frame, GST_VIDEO_COMP_R, brightness + cast);
        AddToComponent(frame, GST_VIDEO_COMP_G, brightness);
        AddToComponent(frame, GST_VIDEO_COMP_B, brightness - cast);
    } else if (GST_VIDEO_INFO_IS_YUV(&frame.info)) {
        AddToComponent(frame, GST_VIDEO_COMP_Y, brightness);
        AddToComponent(frame, GST_VIDEO_COMP_U, -cast);
        AddToComponent(frame, GST_VIDEO_COMP_V, cast);
    }
}

}  // namespace

struct FlipbookTestCameraControlledSource {
    FlipbookTestCameraSource parent;
    std::shared_ptr<ControlMemory>* memory;
    GstVideoInfo* info;  // the raw mode streaming now; unknown for MJPEG
};
struct FlipbookTestCameraControlledSourceClass {
    FlipbookTestCameraSourceClass parentClass;
};

G_DEFINE_TYPE(FlipbookTestCameraControlledSource, flipbook_test_camera_controlled_source,
              flipbook_test_camera_source_get_type())

static ControlMemory& MemoryOfSource(gpointer source) {
    return **reinterpret_cast<FlipbookTestCameraControlledSource*>(source)->memory;
}

static void controlled_source_set_property(GObject* object, guint id, const GValue* value, GParamSpec* spec) {
    ControlMemory& memory = MemoryOfSource(object);
    switch (id) {
        case kExposureAutoProperty: {
            const int mode = g_value_get_enum(value);
            // Switched to manual, a webcam holds the exposure its automatic had reached.
            if (mode == kManualExposure && memory.exposureAuto != kManualExposure)
                memory.exposure = ExposureNow(memory);
            memory.exposureAuto = mode;
            break;
        }
        case kExposureProperty:
            memory.exposure = g_value_get_int(value);
            break;
        case kWhiteBalanceAutoProperty: {
            const bool on = g_value_get_boolean(value);
            if (!on && memory.whiteBalanceAuto) memory.temperature = TemperatureNow(memory);
            memory.whiteBalanceAuto = on;
            break;
        }
        case kTemperatureProperty:
            memory.temperature = g_value_get_int(value);
            break;
        case kFocusAutoProperty:
            memory.focusAuto = g_value_get_boolean(value);
            break;
        case kFocusProperty:
            memory.focus = g_value_get_int(value);
            break;
        case kBrightnessProperty:
            memory.brightness = g_value_get_int(value);
            break;
        case kPowerLineProperty:
            memory.powerLine = g_value_get_enum(value);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

static void controlled_source_get_property(GObject* object, guint id, GValue* value, GParamSpec* spec) {
    const ControlMemory& memory = MemoryOfSource(object);
    switch (id) {
        case kExposureAutoProperty:
            g_value_set_enum(value, memory.exposureAuto);
            break;
        case kExposureProperty:
            g_value_set_int(value, ExposureNow(memory));
            break;
        case kWhiteBalanceAutoProperty:
            g_value_set_boolean(value, memory.whiteBalanceAuto);
            break;
        case kTemperatureProperty:
            g_value_set_int(value, TemperatureNow(memory));
            break;
        case kFocusAutoProperty:
            g_value_set_boolean(value, memory.focusAuto);
            break;
        case kFocusProperty:
            g_value_set_int(value, memory.focus);
            break;
        case kBrightnessProperty:
            g_value_set_int(value, memory.brightness);
            break;
        case kPowerLineProperty:
            g_value_set_enum(value, memory.powerLine);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
    }
}

static gboolean controlled_source_set_caps(GstBaseSrc* base, GstCaps* caps) {
    auto* source = reinterpret_cast<FlipbookTestCameraControlledSource*>(base);
    if (!GST_BASE_SRC_CLASS(flipbook_test_camera_controlled_source_parent_class)->set_caps(base, caps))
        return FALSE;
    // The element's lock keeps the mode whole for the streaming thread, which reads it under the same.
    GST_OBJECT_LOCK(base);
    if (!gst_video_info_from_caps(source->info, caps)) gst_video_info_init(source->info);
    GST_OBJECT_UNLOCK(base);
    return TRUE;
}

static GstFlowReturn controlled_source_create(GstPushSrc* push, GstBuffer** buffer) {
    const GstFlowReturn result =
        GST_PUSH_SRC_CLASS(flipbook_test_camera_controlled_source_parent_class)->create(push, buffer);
    if (result != GST_FLOW_OK) return result;
    auto* source = reinterpret_cast<FlipbookTestCameraControlledSource*>(push);
    const ControlMemory& memory = MemoryOfSource(source);
    const int brightness = memory.brightness + (ExposureNow(memory) - kExposureDefault) / kExposurePerLevel;
    const int cast = (kTemperatureDefault - TemperatureNow(memory)) / kTemperaturePerLevel;
    GST_OBJECT_LOCK(push);
    GstVideoInfo info = *source->info;
    GST_OBJECT_UNLOCK(push);
    if (GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_UNKNOWN || (brightness == 0 && cast == 0))
        return result;
    // The kept frame stays as it was; the camera's frame is a copy with the effect.
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, *buffer, GST_MAP_READWRITE)) return result;
    ApplyPicture(frame, brightness, cast);
    gst_video_frame_unmap(&frame);
    return result;
}

static void controlled_source_finalize(GObject* object) {
    auto* source = reinterpret_cast<FlipbookTestCameraControlledSource*>(object);
    delete source->memory;
    gst_video_info_free(source->info);
    G_OBJECT_CLASS(flipbook_test_camera_controlled_source_parent_class)->finalize(object);
}

static void flipbook_test_camera_controlled_source_class_init(
    FlipbookTestCameraControlledSourceClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = controlled_source_set_property;
    objectClass->get_property = controlled_source_get_property;
    objectClass->finalize = controlled_source_finalize;
    GST_BASE_SRC_CLASS(klass)->set_caps = controlled_source_set_caps;
    GST_PUSH_SRC_CLASS(klass)->create = controlled_source_create;
    const auto flags =
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_CONTROLLABLE);
    g_object_class_install_property(objectClass, kExposureAutoProperty,
                                    g_param_spec_enum("exposure-auto", "Auto Exposure", "Automatic exposure",
                                                      ExposureModeType(), kAperturePriority, flags));
    g_object_class_install_property(objectClass, kExposureProperty,
                                    g_param_spec_int("exposure", "Exposure Time, Absolute", "In 100 µs", 3,
                                                     2047, kExposureDefault, flags));
    g_object_class_install_property(objectClass, kWhiteBalanceAutoProperty,
                                    g_param_spec_boolean("white-balance-auto", "White Balance, Automatic",
                                                         "Automatic white balance", TRUE, flags));
    g_object_class_install_property(objectClass, kTemperatureProperty,
                                    g_param_spec_int("white-balance-temperature", "White Balance Temperature",
                                                     "In kelvin", 2800, 6500, kTemperatureDefault, flags));
    g_object_class_install_property(
        objectClass, kFocusAutoProperty,
        g_param_spec_boolean("focus-auto", "Focus, Automatic Continuous", "Automatic focus", TRUE, flags));
    g_object_class_install_property(
        objectClass, kFocusProperty,
        g_param_spec_int("focus", "Focus, Absolute", "Lens position", 0, 250, 0, flags));
    g_object_class_install_property(
        objectClass, kBrightnessProperty,
        g_param_spec_int("brightness", "Brightness", "Levels added", -64, 64, 0, flags));
    g_object_class_install_property(objectClass, kPowerLineProperty,
                                    g_param_spec_enum("power-line-frequency", "Power Line Frequency",
                                                      "Against flicker", PowerLineType(), 1, flags));
}

static void flipbook_test_camera_controlled_source_init(FlipbookTestCameraControlledSource* source) {
    source->memory = new std::shared_ptr<ControlMemory>(std::make_shared<ControlMemory>());
    source->info = gst_video_info_new();
}

namespace flipbook::testcamera {

GType ControlledCameraSourceType() {
    return flipbook_test_camera_controlled_source_get_type();
}

void AttachControls(GstElement* source, const std::string& cameraName) {
    *reinterpret_cast<FlipbookTestCameraControlledSource*>(source)->memory = MemoryOf(cameraName);
}

void ForgetControls(const std::string& cameraName) {
    std::lock_guard lock(memoriesLock);
    Memories().erase(cameraName);
}

void ForgetAllControls() {
    std::lock_guard lock(memoriesLock);
    Memories().clear();
}

}  // namespace flipbook::testcamera
