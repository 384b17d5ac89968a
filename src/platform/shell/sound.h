// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace flipbook {

// What a request to play a sound turned into.
enum class SoundOutcome {
    File,        // the wave file is playing
    EventSound,  // the wave file could not be played; the default event sound is playing
    Beep,        // neither could be played; the desktop beeped
};

// Plays sounds in the background: Play() starts a pipeline and returns at once, and the pipeline
// frees itself when its sound has ended, without needing any event loop.
class SoundPlayer {
public:
    // eventSound: the file played instead of a wave file that cannot be played (empty: beep instead).
    // audioSink: the GStreamer description of the output the sounds go to.
    explicit SoundPlayer(std::filesystem::path eventSound, std::string audioSink = "autoaudiosink");
    // Stops the sounds that are still playing.
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Starts playing the wave file. A missing or unreadable file, or one that is not a RIFF wave,
    // gives the event sound instead, and without one the desktop's beep. Never throws for the file.
    SoundOutcome Play(const std::filesystem::path& waveFile);

    // How many sounds have been started and have not yet ended.
    std::size_t Playing() const;
    // Waits until no sound is playing, at most for the limit; true when all have ended.
    bool WaitUntilQuiet(std::chrono::milliseconds limit) const;

    struct State;

private:
    bool Start(const std::filesystem::path& file);

    std::filesystem::path eventSound_;
    std::string audioSink_;
    std::shared_ptr<State> state_;
};

// The default event sound of the freedesktop sound theme found under the data folders, searched in
// order (the user's own first); empty when no theme provides one.
std::filesystem::path FindEventSound(const std::vector<std::filesystem::path>& dataFolders);
// The desktop's default event sound from the installed sound themes; empty when none is installed.
std::filesystem::path DefaultEventSound();

// The process's player: the desktop's audio output, the desktop's default event sound as fallback.
SoundPlayer& TheSoundPlayer();
// Plays the wave file asynchronously with the process's player.
SoundOutcome PlaySoundAsync(const std::filesystem::path& waveFile);

}  // namespace flipbook
