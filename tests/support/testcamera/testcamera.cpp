// The test camera: a GStreamer plugin whose device provider announces virtual video input devices,
// so the real enumeration, binding, conversion and grabbing code can run without a camera.
//
// FLIPBOOK_TEST_CAMERA lists the devices, separated by ';'. Each is a name followed by optional
// ':'-separated fields in any order:
//   WxH or WxH@FPS            picture size and frame rate (default 320x240@30)
//   bgr yuy2 i420 nv12 mjpeg  what the device gives (default yuy2)
//   noclsid                   the device announces no class id
//   clsid=TEXT                the device announces TEXT as its class id
//   anything else             the test pattern of videotestsrc (default smpte)
// The variable is read at every probe, so a test can make devices come and go.

#include <gst/gst.h>

#include <cstdlib>
#include <string>
#include <vector>

#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace {

// Every device carries a class id unless told otherwise, as capture devices usually do.
constexpr const char* kDefaultClassId = "{5C2F0E61-9A4B-4D7E-8C31-6F0B2D9A7E15}";

struct VirtualCamera {
    std::string name;
    int width = 320;
    int height = 240;
    int framesPerSecond = 30;
    std::string pattern = "smpte";
    std::string format = "yuy2";
    std::string classId = kDefaultClassId;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

bool ParseSize(const std::string& field, VirtualCamera& camera) {
    int width = 0, height = 0, rate = 0;
    char extra = 0;
    if (std::sscanf(field.c_str(), "%dx%d@%d%c", &width, &height, &rate, &extra) == 3 && rate > 0) {
        camera.framesPerSecond = rate;
    } else if (std::sscanf(field.c_str(), "%dx%d%c", &width, &height, &extra) != 2) {
        return false;
    }
    if (width <= 0 || height <= 0) return false;
    camera.width = width;
    camera.height = height;
    return true;
}

std::vector<VirtualCamera> ReadCameras() {
    std::vector<VirtualCamera> cameras;
    const char* variable = std::getenv("FLIPBOOK_TEST_CAMERA");
    if (!variable || !*variable) return cameras;
    for (const std::string& device : Split(variable, ';')) {
        std::vector<std::string> fields = Split(device, ':');
        if (fields[0].empty()) continue;
        VirtualCamera camera;
        camera.name = fields[0];
        for (std::size_t i = 1; i < fields.size(); ++i) {
            const std::string& field = fields[i];
            if (field.empty() || ParseSize(field, camera)) continue;
            if (field == "bgr" || field == "yuy2" || field == "i420" || field == "nv12" || field == "mjpeg")
                camera.format = field;
            else if (field == "noclsid")
                camera.classId.clear();
            else if (field.rfind("clsid=", 0) == 0)
                camera.classId = field.substr(6);
            else
                camera.pattern = field;
        }
        cameras.push_back(camera);
    }
    return cameras;
}

GstCaps* CapsOf(const VirtualCamera& camera) {
    if (camera.format == "mjpeg")
        return gst_caps_new_simple("image/jpeg", "width", G_TYPE_INT, camera.width, "height", G_TYPE_INT,
                                   camera.height, "framerate", GST_TYPE_FRACTION, camera.framesPerSecond, 1,
                                   nullptr);
    std::string format = camera.format;
    for (char& c : format) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format.c_str(), "width", G_TYPE_INT,
                               camera.width, "height", G_TYPE_INT, camera.height, "framerate",
                               GST_TYPE_FRACTION, camera.framesPerSecond, 1, nullptr);
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
    const VirtualCamera& camera = *reinterpret_cast<FlipbookTestCameraDevice*>(device)->camera;
    GstElement* bin = gst_bin_new(name);
    GstElement* source = gst_element_factory_make("videotestsrc", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    if (!source || !filter) {
        if (source) gst_object_unref(gst_object_ref_sink(source));
        if (filter) gst_object_unref(gst_object_ref_sink(filter));
        gst_object_unref(gst_object_ref_sink(bin));
        return nullptr;
    }
    g_object_set(source, "is-live", TRUE, nullptr);
    gst_util_set_object_arg(G_OBJECT(source), "pattern", camera.pattern.c_str());
    GstCaps* caps = CapsOf(camera);
    GstElement* last = filter;
    if (camera.format == "mjpeg") {
        // The pattern is made raw and compressed, as an MJPEG webcam would send it.
        GstCaps* raw = gst_caps_new_simple(
            "video/x-raw", "format", G_TYPE_STRING, "I420", "width", G_TYPE_INT, camera.width, "height",
            G_TYPE_INT, camera.height, "framerate", GST_TYPE_FRACTION, camera.framesPerSecond, 1, nullptr);
        g_object_set(filter, "caps", raw, nullptr);
        gst_caps_unref(raw);
        GstElement* encoder = gst_element_factory_make("jpegenc", nullptr);
        GstElement* parser = gst_element_factory_make("capsfilter", nullptr);
        g_object_set(parser, "caps", caps, nullptr);
        gst_bin_add_many(GST_BIN(bin), source, filter, encoder, parser, nullptr);
        gst_element_link_many(source, filter, encoder, parser, nullptr);
        last = parser;
    } else {
        g_object_set(filter, "caps", caps, nullptr);
        gst_bin_add_many(GST_BIN(bin), source, filter, nullptr);
        gst_element_link(source, filter);
    }
    gst_caps_unref(caps);
    GstPad* target = gst_element_get_static_pad(last, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("src", target));
    gst_object_unref(target);
    return bin;
}

static void flipbook_test_camera_device_finalize(GObject* object) {
    delete reinterpret_cast<FlipbookTestCameraDevice*>(object)->camera;
    G_OBJECT_CLASS(flipbook_test_camera_device_parent_class)->finalize(object);
}

static void flipbook_test_camera_device_class_init(FlipbookTestCameraDeviceClass* klass) {
    GST_DEVICE_CLASS(klass)->create_element = flipbook_test_camera_device_create_element;
    G_OBJECT_CLASS(klass)->finalize = flipbook_test_camera_device_finalize;
}

static void flipbook_test_camera_device_init(FlipbookTestCameraDevice* device) {
    device->camera = nullptr;
}

static GstDevice* MakeDevice(const VirtualCamera& camera, int index) {
    GstCaps* caps = CapsOf(camera);
    GstStructure* properties = gst_structure_new("flipbook-test-camera", "device.api", G_TYPE_STRING,
                                                 "flipbook-test", "device.index", G_TYPE_INT, index, nullptr);
    if (!camera.classId.empty())
        gst_structure_set(properties, "device.clsid", G_TYPE_STRING, camera.classId.c_str(), nullptr);
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
};

G_DEFINE_TYPE(FlipbookTestCameraProvider, flipbook_test_camera_provider, GST_TYPE_DEVICE_PROVIDER)

static GList* flipbook_test_camera_provider_probe(GstDeviceProvider*) {
    GList* devices = nullptr;
    int index = 0;
    for (const VirtualCamera& camera : ReadCameras())
        devices = g_list_append(devices, MakeDevice(camera, index++));
    return devices;
}

static void flipbook_test_camera_provider_class_init(FlipbookTestCameraProviderClass* klass) {
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = flipbook_test_camera_provider_probe;
    gst_device_provider_class_set_static_metadata(providerClass, "Flipbook test camera", "Source/Video",
                                                  "Announces virtual cameras for tests", "Flipbook Cam");
}

static void flipbook_test_camera_provider_init(FlipbookTestCameraProvider*) {}

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_device_provider_register(plugin, "flipbooktestcameraprovider", GST_RANK_PRIMARY,
                                        flipbook_test_camera_provider_get_type());
}

#define PACKAGE "flipbookcam"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, flipbooktestcamera, "Virtual cameras for tests",
                  plugin_init, "1.0", "Proprietary", "Flipbook Cam", "flipbookcam")
