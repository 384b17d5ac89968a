// SPDX-License-Identifier: GPL-3.0-or-later
// The test camera: a GStreamer plugin whose device provider announces virtual video input devices,
// so the real enumeration, binding, conversion and grabbing code can run without a camera.
//
// FLIPBOOK_TEST_CAMERA lists the devices, separated by ';'. Each is a name followed by optional
// ':'-separated fields in any order:
//   WxH or WxH@FPS            picture size and frame rate of the one mode (default 320x240@30)
//   bgr yuy2 i420 nv12 mjpeg  what that mode gives (default yuy2)
//   webcam1080                instead of one mode, a 1080p USB webcam's table: YUY2 640x480@30,
//                             1280x720@10, 1920x1080@5 and MJPEG 640x480@30, 1280x720@30, 1920x1080@30
//   busy                      held by another program: fails when asked to stream
//   unplug=N                  pulled out after N frames: posts the error and leaves the device list
//   controls                  offers a webcam's controls, whose automatics drift the picture's
//                             brightness and colour as a real webcam's do (camera_controls.h)
//   loop=N                    N frames made (and compressed) before the first goes out, then sent
//                             over and over, so a measurement of the program never pays for them
//   noise=SIGMA               a still scene (the pattern's first frame) with a webcam sensor's Gaussian
//                             noise of that sigma in levels (above 0, at most 64) on every byte of
//                             each frame, drawn anew for each frame from a seed that is the frame's
//                             index, so runs repeat; raw modes only (sensor_noise.h)
//   soft                      the pattern's foreground and background colours (the ball and its ground)
//                             kept clear of 0 and 255, so nothing in the picture clips
//   noclsid                   the device announces no class id
//   clsid=TEXT                the device announces TEXT as its class id
//   path=TEXT                 the device path it announces (default /dev/videoN, N its place in the
//                             list, or 100 and up for cameras plugged in)
//   v4l2                      announces its device path as its V4L2 node too, as a webcam does: the
//                             program reads and sets its controls there (a fake node of the test,
//                             support/fake_v4l2_node.h)
//   anything else             the test pattern of videotestsrc (default smpte)
// The variable is read at every probe, so a test can make devices come and go between probes. While
// a device monitor watches, cameras are plugged in and pulled out through the provider's action
// signals "plug" (a device's description) and "unplug" (a device's name or path), which post device-added and
// device-removed as a hot-plugged camera does; test_camera.h wraps them. Those changes hold until
// FLIPBOOK_TEST_CAMERA is set to another list.

#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "camera_controls.h"
#include "camera_source.h"
#include "virtual_camera.h"

#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace {

using flipbook::testcamera::VirtualCamera;

// The cameras plugged in and pulled out since the variable last changed, and the providers that
// are watching, so that a change from any thread reaches them.
struct PlugBoard {
    std::mutex mutex;
    std::string configuration;           // the variable these changes apply to
    std::vector<std::string> pulledOut;  // names or device paths hidden from the variable's list
    std::vector<std::string> pluggedIn;  // descriptions added to it, each with its device path
    std::vector<GstDeviceProvider*> watching;
};

PlugBoard& TheBoard() {
    static PlugBoard board;
    return board;
}

// Must hold the board's lock.
void ForgetChangesOfAnotherList(PlugBoard& board) {
    const char* variable = std::getenv("FLIPBOOK_TEST_CAMERA");
    std::string configuration = variable ? variable : "";
    if (configuration == board.configuration) return;
    board.configuration = configuration;
    flipbook::testcamera::ForgetAllControls();
    board.pulledOut.clear();
    board.pluggedIn.clear();
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The name or the device path says which camera is meant.
bool IsCamera(const VirtualCamera& camera, const std::string& nameOrPath) {
    return camera.name == nameOrPath || camera.devicePath == nameOrPath;
}

VirtualCamera WithDevicePath(VirtualCamera camera, int index) {
    if (camera.devicePath.empty()) camera.devicePath = "/dev/video" + std::to_string(index);
    return camera;
}

// The device path of the first camera of that name, listed or plugged in; "" for none. Must hold the
// board's lock.
std::string PathOfNamed(const PlugBoard& board, const std::string& name) {
    int index = 0;
    for (const VirtualCamera& listed : flipbook::testcamera::ParseCameras(board.configuration)) {
        const VirtualCamera camera = WithDevicePath(listed, index++);
        if (camera.name == name) return camera.devicePath;
    }
    for (const std::string& description : board.pluggedIn) {
        const VirtualCamera camera = flipbook::testcamera::ParseCamera(description);
        if (camera.name == name) return camera.devicePath;
    }
    return "";
}

std::vector<VirtualCamera> PresentCameras() {
    PlugBoard& board = TheBoard();
    std::lock_guard lock(board.mutex);
    ForgetChangesOfAnotherList(board);
    std::vector<VirtualCamera> present;
    int index = 0;
    for (const VirtualCamera& listed : flipbook::testcamera::ParseCameras(board.configuration)) {
        const VirtualCamera camera = WithDevicePath(listed, index++);
        if (!Contains(board.pulledOut, camera.name) && !Contains(board.pulledOut, camera.devicePath))
            present.push_back(camera);
    }
    for (const std::string& description : board.pluggedIn)
        present.push_back(flipbook::testcamera::ParseCamera(description));
    return present;
}

std::vector<GstDeviceProvider*> WatchingProviders() {
    PlugBoard& board = TheBoard();
    std::lock_guard lock(board.mutex);
    std::vector<GstDeviceProvider*> providers;
    for (GstDeviceProvider* provider : board.watching)
        providers.push_back(GST_DEVICE_PROVIDER(gst_object_ref(provider)));
    return providers;
}

}  // namespace

// ---- the device -------------------------------------------------------------------------------

struct FlipbookTestCameraDevice {
    GstDevice parent;
    VirtualCamera* camera;
};
struct FlipbookTestCameraDeviceClass {
    GstDeviceClass parentClass;
};

G_DEFINE_TYPE(FlipbookTestCameraDevice, flipbook_test_camera_device, GST_TYPE_DEVICE)

static GstElement* flipbook_test_camera_device_create_element(GstDevice* device, const gchar* name) {
    auto* camera = reinterpret_cast<FlipbookTestCameraDevice*>(device);
    return flipbook::testcamera::MakeCameraSource(*camera->camera, name);
}

static void flipbook_test_camera_device_finalize(GObject* object) {
    auto* device = reinterpret_cast<FlipbookTestCameraDevice*>(object);
    delete device->camera;
    G_OBJECT_CLASS(flipbook_test_camera_device_parent_class)->finalize(object);
}

static void flipbook_test_camera_device_class_init(FlipbookTestCameraDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = flipbook_test_camera_device_create_element;
    G_OBJECT_CLASS(klass)->finalize = flipbook_test_camera_device_finalize;
}

static void flipbook_test_camera_device_init(FlipbookTestCameraDevice* device) {
    device->camera = nullptr;
}

static GstDevice* MakeDevice(const VirtualCamera& camera) {
    GstCaps* caps = flipbook::testcamera::CapsOfCamera(camera);
    const std::string& path = camera.devicePath;
    GstStructure* properties =
        gst_structure_new("flipbook-test-camera", "device.api", G_TYPE_STRING, "flipbook-test", "device.path",
                          G_TYPE_STRING, path.c_str(), nullptr);
    if (!camera.classId.empty())
        gst_structure_set(properties, "device.clsid", G_TYPE_STRING, camera.classId.c_str(), nullptr);
    if (camera.v4l2Node) gst_structure_set(properties, "api.v4l2.path", G_TYPE_STRING, path.c_str(), nullptr);
    auto* device = reinterpret_cast<FlipbookTestCameraDevice*>(
        g_object_new(flipbook_test_camera_device_get_type(), "display-name", camera.name.c_str(), "caps",
                     caps, "device-class", "Video/Source", "properties", properties, nullptr));
    device->camera = new VirtualCamera(camera);
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return GST_DEVICE(device);
}

// ---- the provider -----------------------------------------------------------------------------

struct FlipbookTestCameraProvider {
    GstDeviceProvider parent;
};
struct FlipbookTestCameraProviderClass {
    GstDeviceProviderClass parentClass;
    void (*plug)(FlipbookTestCameraProvider*, const gchar* description);
    void (*unplug)(FlipbookTestCameraProvider*, const gchar* name);
};

G_DEFINE_TYPE(FlipbookTestCameraProvider, flipbook_test_camera_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* flipbook_test_camera_provider_probe(GstDeviceProvider*) {
    GList* devices = nullptr;
    for (const VirtualCamera& camera : PresentCameras()) devices = g_list_append(devices, MakeDevice(camera));
    return devices;
}

static gboolean flipbook_test_camera_provider_start(GstDeviceProvider* provider) {
    for (const VirtualCamera& camera : PresentCameras())
        gst_device_provider_device_add(provider, MakeDevice(camera));
    PlugBoard& board = TheBoard();
    std::lock_guard lock(board.mutex);
    board.watching.push_back(provider);
    return TRUE;
}

// The base class forgets the devices itself once the last watcher stops.
static void flipbook_test_camera_provider_stop(GstDeviceProvider* provider) {
    PlugBoard& board = TheBoard();
    std::lock_guard lock(board.mutex);
    std::erase(board.watching, provider);
}

static void RemoveFromWatchers(const std::string& nameOrPath) {
    for (GstDeviceProvider* provider : WatchingProviders()) {
        GList* devices = gst_device_provider_get_devices(provider);
        for (GList* item = devices; item; item = item->next) {
            if (!IsCamera(*reinterpret_cast<FlipbookTestCameraDevice*>(item->data)->camera, nameOrPath))
                continue;
            gst_device_provider_device_remove(provider, GST_DEVICE(item->data));
            break;
        }
        g_list_free_full(devices, gst_object_unref);
        gst_object_unref(provider);
    }
}

static void flipbook_test_camera_provider_plug(FlipbookTestCameraProvider*, const gchar* description) {
    VirtualCamera camera = flipbook::testcamera::ParseCamera(description ? description : "");
    if (camera.name.empty()) return;
    {
        PlugBoard& board = TheBoard();
        std::lock_guard lock(board.mutex);
        ForgetChangesOfAnotherList(board);
        // A camera without a path comes back to the place of the first camera of its name, as one
        // camera plugged in again does; a new one takes a new place. Whatever held it is replaced.
        if (camera.devicePath.empty()) camera.devicePath = PathOfNamed(board, camera.name);
        camera = WithDevicePath(camera, 101 + static_cast<int>(board.pluggedIn.size()));
        if (!Contains(board.pulledOut, camera.devicePath)) board.pulledOut.push_back(camera.devicePath);
        std::erase_if(board.pluggedIn, [&](const std::string& other) {
            return IsCamera(flipbook::testcamera::ParseCamera(other), camera.devicePath);
        });
        board.pluggedIn.push_back(std::string(description) + ":path=" + camera.devicePath);
        // A camera plugged in starts as it left the factory.
        flipbook::testcamera::ForgetControls(camera.name);
    }
    RemoveFromWatchers(camera.devicePath);
    for (GstDeviceProvider* provider : WatchingProviders()) {
        gst_device_provider_device_add(provider, MakeDevice(camera));
        gst_object_unref(provider);
    }
}

static void flipbook_test_camera_provider_unplug(FlipbookTestCameraProvider*, const gchar* name) {
    flipbook::testcamera::PullOut(name ? name : "");
}

static void flipbook_test_camera_provider_class_init(FlipbookTestCameraProviderClass* klass) {
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = flipbook_test_camera_provider_probe;
    providerClass->start = flipbook_test_camera_provider_start;
    providerClass->stop = flipbook_test_camera_provider_stop;
    klass->plug = flipbook_test_camera_provider_plug;
    klass->unplug = flipbook_test_camera_provider_unplug;
    g_signal_new("plug", G_TYPE_FROM_CLASS(klass),
                 static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                 G_STRUCT_OFFSET(FlipbookTestCameraProviderClass, plug), nullptr, nullptr, nullptr,
                 G_TYPE_NONE, 1, G_TYPE_STRING);
    g_signal_new("unplug", G_TYPE_FROM_CLASS(klass),
                 static_cast<GSignalFlags>(G_SIGNAL_RUN_LAST | G_SIGNAL_ACTION),
                 G_STRUCT_OFFSET(FlipbookTestCameraProviderClass, unplug), nullptr, nullptr, nullptr,
                 G_TYPE_NONE, 1, G_TYPE_STRING);
    gst_device_provider_class_set_static_metadata(providerClass, "Flipbook test camera", "Source/Video",
                                                  "Announces virtual cameras for tests", "Flipbook Cam");
}

static void flipbook_test_camera_provider_init(FlipbookTestCameraProvider*) {}

namespace flipbook::testcamera {

void PullOut(const std::string& nameOrPath) {
    {
        PlugBoard& board = TheBoard();
        std::lock_guard lock(board.mutex);
        if (!Contains(board.pulledOut, nameOrPath)) board.pulledOut.push_back(nameOrPath);
        std::erase_if(board.pluggedIn, [&](const std::string& description) {
            return IsCamera(ParseCamera(description), nameOrPath);
        });
    }
    // Without power a camera forgets its controls (kept by its name).
    ForgetControls(nameOrPath);
    RemoveFromWatchers(nameOrPath);
}

}  // namespace flipbook::testcamera

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "flipbooktestcameraprovider", GST_RANK_PRIMARY,
                                        flipbook_test_camera_provider_get_type());
}

#define PACKAGE "flipbookcam"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, flipbooktestcamera, "Virtual cameras for tests",
                  plugin_init, "1.0", "Proprietary", "Flipbook Cam", "flipbookcam")
