// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QString>

class QWidget;

namespace flipbook {

// Asks where to write a video, starting from the suggested path; "" when cancelled.
using ExportPathQuestion = std::function<std::string(const std::string& suggestion)>;

// The save dialog of "Export Video..." over the parent.
ExportPathQuestion ExportPathDialog(QWidget* parent);

// "Export Video...": asks for the file, then writes the pictures as a video at the rate with a
// progress dialog over the parent that can cancel it. Unreadable pictures are asked about, failures
// shown to the user; a written video is said (before the pictures held in its place are listed).
void ExportSeries(QWidget* parent, std::vector<std::string> pictures, const std::string& suggestion,
                  int framesPerSecond, const ExportPathQuestion& askPath,
                  const std::function<void(const QString& text)>& say);

}  // namespace flipbook
