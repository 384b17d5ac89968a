// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

namespace flipbook {

// Asks for the playback rate (frames a second, 1 to 30) and the number of pictures that "Play Last
// Frames" plays (1 to 100), starting from the values given. False, with both unchanged, when cancelled.
bool AskPlaybackSettings(QWidget* parent, int& framesPerSecond, int& lastFrames);

}  // namespace flipbook
