// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/sound.h"

#include "platform/shell/desktop.h"

#include <gst/gst.h>

#include <array>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

namespace flipbook {
namespace {

struct GstObjectUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gchar* text) const { g_free(text); }
};
using ElementHandle = std::unique_ptr<GstElement, GstObjectUnref>;
using BusHandle = std::unique_ptr<GstBus, GstObjectUnref>;
using ErrorHandle = std::unique_ptr<GError, ErrorFree>;
using TextHandle = std::unique_ptr<gchar, GFree>;

// playbin's "flags" value for audio only: a wave has no picture or subtitles to look for.
constexpr guint kPlayAudioOnly = 0x2;

bool IsReadableFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return false;
    return std::ifstream(file, std::ios::binary).good();
}

// A RIFF wave starts with "RIFF", four bytes of size, "WAVE". Checking this up front lets a file
// that is not a wave give the event sound at once, as a missing one does.
bool IsWaveFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) return false;
    std::ifstream in(file, std::ios::binary);
    std::array<char, 12> header{};
    if (!in.read(header.data(), header.size())) return false;
    return std::string_view(header.data(), 4) == "RIFF" && std::string_view(header.data() + 8, 4) == "WAVE";
}

}  // namespace

// The pipelines that are playing. Shared with the bus handlers, which may outlive the player.
struct SoundPlayer::State {
    mutable std::mutex lock;
    mutable std::condition_variable quiet;
    std::set<GstElement*> playing;  // each holds one reference of ours

    // Stops and frees the pipeline unless someone else already did.
    void Retire(GstElement* pipeline) {
        {
            std::lock_guard guard(lock);
            if (playing.erase(pipeline) == 0) return;
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
        std::lock_guard guard(lock);
        quiet.notify_all();
    }
};

namespace {

using StateHandle = std::shared_ptr<SoundPlayer::State>;

// What the bus handler of one pipeline needs. The bus belongs to the pipeline, so the pipeline is
// alive whenever its bus hands over a message.
struct BusContext {
    StateHandle state;
    GstElement* pipeline;
};

void RetireLater(GstElement* pipeline, gpointer data) {
    static_cast<StateHandle*>(data)->get()->Retire(pipeline);
}
void DeleteState(gpointer data) {
    delete static_cast<StateHandle*>(data);
}
void DeleteBusContext(gpointer data) {
    delete static_cast<BusContext*>(data);
}

// Runs on a streaming thread, which must not stop its own pipeline: the end of the sound, or an
// error anywhere inside, hands the pipeline to GStreamer's worker threads to be stopped and freed.
GstBusSyncReply OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
    const auto type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
        const auto* context = static_cast<BusContext*>(data);
        gst_element_call_async(context->pipeline, RetireLater, new StateHandle(context->state), DeleteState);
    }
    // Nobody reads this bus; keeping the messages would only fill its queue.
    return GST_BUS_DROP;
}

}  // namespace

SoundPlayer::SoundPlayer(std::filesystem::path eventSound, std::string audioSink)
    : eventSound_(std::move(eventSound)),
      audioSink_(std::move(audioSink)),
      state_(std::make_shared<State>()) {
    if (!gst_is_initialized()) gst_init_check(nullptr, nullptr, nullptr);
}

SoundPlayer::~SoundPlayer() {
    std::set<GstElement*> pipelines;
    {
        std::lock_guard guard(state_->lock);
        pipelines.swap(state_->playing);
    }
    for (GstElement* pipeline : pipelines) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
}

SoundOutcome SoundPlayer::Play(const std::filesystem::path& waveFile) {
    if (IsWaveFile(waveFile) && Start(waveFile)) return SoundOutcome::File;
    if (!eventSound_.empty() && IsReadableFile(eventSound_) && Start(eventSound_))
        return SoundOutcome::EventSound;
    TheDesktop().Beep();
    return SoundOutcome::Beep;
}

bool SoundPlayer::Start(const std::filesystem::path& file) {
    if (!gst_is_initialized()) return false;
    ElementHandle pipeline(gst_element_factory_make("playbin", nullptr));
    if (!pipeline) return false;
    gst_object_ref_sink(pipeline.get());

    GError* rawError = nullptr;
    GstElement* sink = gst_parse_bin_from_description(audioSink_.c_str(), TRUE, &rawError);
    ErrorHandle sinkError(rawError);
    if (sink == nullptr) return false;
    // playbin takes the floating reference of the sink.
    g_object_set(pipeline.get(), "audio-sink", sink, "flags", kPlayAudioOnly, nullptr);

    const std::filesystem::path absolute = std::filesystem::absolute(file);
    rawError = nullptr;
    TextHandle uri(gst_filename_to_uri(absolute.c_str(), &rawError));
    ErrorHandle uriError(rawError);
    if (!uri) return false;
    g_object_set(pipeline.get(), "uri", uri.get(), nullptr);

    BusHandle bus(gst_element_get_bus(pipeline.get()));
    gst_bus_set_sync_handler(bus.get(), OnBusMessage, new BusContext{state_, pipeline.get()},
                             DeleteBusContext);

    GstElement* playing = pipeline.release();
    {
        std::lock_guard guard(state_->lock);
        state_->playing.insert(playing);
    }
    // The change to playing completes in the background; only an immediate refusal is a failure here.
    if (gst_element_set_state(playing, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        state_->Retire(playing);
        return false;
    }
    return true;
}

std::size_t SoundPlayer::Playing() const {
    std::lock_guard guard(state_->lock);
    return state_->playing.size();
}

bool SoundPlayer::WaitUntilQuiet(std::chrono::milliseconds limit) const {
    std::unique_lock guard(state_->lock);
    return state_->quiet.wait_for(guard, limit, [this] { return state_->playing.empty(); });
}

std::filesystem::path FindEventSound(const std::vector<std::filesystem::path>& dataFolders) {
    // "bell" is the theme's name for the default alert; older themes only have the information chime.
    static constexpr std::array kNames{"bell", "dialog-information"};
    static constexpr std::array kExtensions{".oga", ".ogg", ".wav"};
    for (const auto& folder : dataFolders) {
        const auto theme = folder / "sounds" / "freedesktop" / "stereo";
        for (const char* name : kNames) {
            for (const char* extension : kExtensions) {
                auto candidate = theme / (std::string(name) + extension);
                if (IsReadableFile(candidate)) return candidate;
            }
        }
    }
    return {};
}

std::filesystem::path DefaultEventSound() {
    std::vector<std::filesystem::path> folders{g_get_user_data_dir()};
    for (const gchar* const* folder = g_get_system_data_dirs(); *folder != nullptr; ++folder) {
        folders.emplace_back(*folder);
    }
    return FindEventSound(folders);
}

SoundPlayer& TheSoundPlayer() {
    static SoundPlayer player(DefaultEventSound());
    return player;
}

SoundOutcome PlaySoundAsync(const std::filesystem::path& waveFile) {
    return TheSoundPlayer().Play(waveFile);
}

}  // namespace flipbook
