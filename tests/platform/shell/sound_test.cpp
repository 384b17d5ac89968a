// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell/sound.h"

#include "platform/shell/trash_home.h"
#include "support/temp_dir.h"
#include "support/fake_desktop.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdint>

namespace flipbook {
namespace {

using namespace std::chrono_literals;
using testing::WriteFile;

// Plays in real time without a sound card, so a long sound is still playing when Play() returns.
constexpr const char* kClockedSilence = "fakesink sync=true";
// A guard against hanging for ever, not a measure of speed.
constexpr auto kAtMost = 60s;

void AppendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A silent 8 kHz mono 16-bit PCM wave of the given length.
void WriteSilentWave(const std::filesystem::path& path, int milliseconds) {
    const std::uint32_t dataBytes = 8000u * 2u * static_cast<std::uint32_t>(milliseconds) / 1000u;
    std::string wave = "RIFF";
    AppendLittleEndian(wave, 36 + dataBytes, 4);
    wave += "WAVEfmt ";
    AppendLittleEndian(wave, 16, 4);
    AppendLittleEndian(wave, 1, 2);      // PCM
    AppendLittleEndian(wave, 1, 2);      // mono
    AppendLittleEndian(wave, 8000, 4);   // samples a second
    AppendLittleEndian(wave, 16000, 4);  // bytes a second
    AppendLittleEndian(wave, 2, 2);      // bytes a frame
    AppendLittleEndian(wave, 16, 2);     // bits a sample
    wave += "data";
    AppendLittleEndian(wave, dataBytes, 4);
    wave.append(dataBytes, '\0');
    WriteFile(path, wave);
}

class SoundPlayerTest : public ::testing::Test {
protected:
    testing::TempDir folder_;
    testing::FakeDesktop desktop_;
};

TEST_F(SoundPlayerTest, Play_ReturnsWhileTheSoundIsStillPlaying) {
    const auto wave = folder_.Path() / "long.wav";
    WriteSilentWave(wave, 30'000);
    SoundPlayer player("", kClockedSilence);

    EXPECT_EQ(player.Play(wave), SoundOutcome::File);
    // Thirty seconds of sound played in real time cannot have ended when the call came back.
    EXPECT_EQ(player.Playing(), 1u);
    EXPECT_EQ(desktop_.beeps, 0);
}

TEST_F(SoundPlayerTest, Play_FreesTheSoundWhenItHasEndedOrFailed) {
    const auto wave = folder_.Path() / "short.wav";
    WriteSilentWave(wave, 50);
    // Looks like a wave from its first bytes, so it is played, but fails while decoding.
    const auto broken = folder_.Path() / "broken.wav";
    WriteFile(broken, std::string("RIFF\x20\0\0\0WAVEfmt \x04\0\0\0junkjunkjunkjunk", 32));
    SoundPlayer player("", kClockedSilence);

    ASSERT_EQ(player.Play(wave), SoundOutcome::File);
    ASSERT_EQ(player.Play(wave), SoundOutcome::File);
    ASSERT_EQ(player.Play(broken), SoundOutcome::File);
    EXPECT_TRUE(player.WaitUntilQuiet(kAtMost));
    EXPECT_EQ(player.Playing(), 0u);
}

TEST_F(SoundPlayerTest, Play_GivesTheEventSoundForAMissingOrForeignFile) {
    const auto eventSound = folder_.Path() / "bell.wav";
    WriteSilentWave(eventSound, 50);
    const auto notAWave = folder_.Path() / "notes.wav";
    WriteFile(notAWave, "this is text, not a RIFF wave");
    SoundPlayer player(eventSound, kClockedSilence);

    EXPECT_EQ(player.Play(folder_.Path() / "missing.wav"), SoundOutcome::EventSound);
    EXPECT_EQ(player.Play(notAWave), SoundOutcome::EventSound);
    EXPECT_EQ(player.Play(folder_.Path()), SoundOutcome::EventSound);
    EXPECT_EQ(desktop_.beeps, 0);
    EXPECT_TRUE(player.WaitUntilQuiet(kAtMost));
}

TEST_F(SoundPlayerTest, Play_BeepsWhenThereIsNoEventSoundEither) {
    SoundPlayer withoutEventSound("", kClockedSilence);
    EXPECT_EQ(withoutEventSound.Play(folder_.Path() / "missing.wav"), SoundOutcome::Beep);

    SoundPlayer withMissingEventSound(folder_.Path() / "gone.oga", kClockedSilence);
    EXPECT_EQ(withMissingEventSound.Play(folder_.Path() / "missing.wav"), SoundOutcome::Beep);

    EXPECT_EQ(desktop_.beeps, 2);
    EXPECT_EQ(withoutEventSound.Playing() + withMissingEventSound.Playing(), 0u);
}

TEST_F(SoundPlayerTest, Play_BeepsWhenTheOutputCannotBeMade) {
    const auto wave = folder_.Path() / "short.wav";
    WriteSilentWave(wave, 50);
    SoundPlayer player(wave, "no-such-element-anywhere");

    EXPECT_EQ(player.Play(wave), SoundOutcome::Beep);
    EXPECT_EQ(desktop_.beeps, 1);
}

TEST(Sound_FindEventSound, PrefersTheUsersFolderAndTheBell) {
    testing::TempDir user;
    testing::TempDir system;
    const auto userTheme = user.Path() / "sounds" / "freedesktop" / "stereo";
    const auto systemTheme = system.Path() / "sounds" / "freedesktop" / "stereo";
    std::filesystem::create_directories(userTheme);
    std::filesystem::create_directories(systemTheme);

    EXPECT_EQ(FindEventSound({user.Path(), system.Path()}), std::filesystem::path());

    WriteFile(systemTheme / "bell.oga", "sound");
    WriteFile(userTheme / "dialog-information.oga", "sound");
    EXPECT_EQ(FindEventSound({user.Path(), system.Path()}), userTheme / "dialog-information.oga");

    WriteFile(userTheme / "bell.ogg", "sound");
    EXPECT_EQ(FindEventSound({user.Path(), system.Path()}), userTheme / "bell.ogg");
    EXPECT_EQ(FindEventSound({system.Path()}), systemTheme / "bell.oga");
}

// The shutter sound we ship must be a wave that decodes to its end, and short.
TEST(Sound_ShippedShutterSound, DecodesAsAShortWave) {
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    const std::string description = std::string("filesrc location=\"") + FLIPBOOK_SNAP_WAV +
                                    "\" ! wavparse ! audioconvert ! fakesink name=out";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    ASSERT_NE(pipeline, nullptr);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end =
        gst_bus_timed_pop_filtered(bus, static_cast<GstClockTime>(60) * GST_SECOND,
                                   static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(GST_MESSAGE_TYPE(end), GST_MESSAGE_EOS);
    gint64 duration = 0;
    EXPECT_TRUE(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration));
    EXPECT_GT(duration, 0);
    EXPECT_LT(duration, static_cast<gint64>(GST_SECOND));
    gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
}

}  // namespace
}  // namespace flipbook
