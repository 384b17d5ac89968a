// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace flipbook {

// The desktop's small services that the program reaches through one seam, so tests can count beeps,
// see the cursor, answer questions and catch web addresses. The real one uses Qt.
class Desktop {
public:
    virtual ~Desktop() = default;

    // The default system beep.
    virtual void Beep() = 0;
    // Starts playing the wave file and returns at once; a file that cannot be played gives the
    // desktop's default event sound.
    virtual void PlaySound(const std::filesystem::path& waveFile) = 0;
    // Opens the address in the desktop's default handler; false when that fails.
    virtual bool OpenUrl(const std::string& address) = 0;

    enum class Cursor { Default, Busy };
    // The application-wide cursor (the busy cursor while saving).
    virtual Cursor ScreenCursor() const = 0;
    virtual void SetScreenCursor(Cursor cursor) = 0;

    // A yes/no question in a modal box with the given caption; true for yes.
    virtual bool Ask(const std::string& caption, const std::string& question) = 0;
    // Shows a failure that escaped a handler in the application's error box.
    virtual void ShowError(const std::string& message) = 0;

protected:
    Desktop() = default;
};

// The process's desktop services: the Qt ones unless a test installed its own.
Desktop& TheDesktop();
// Installs the services that TheDesktop() returns from now on; null restores the Qt ones.
// Returns the previous installed one (null for the Qt ones).
Desktop* InstallDesktop(Desktop* desktop);

// Shows the busy cursor for as long as it lives and then puts back the cursor it found, on every path.
class ScopedBusyCursor {
public:
    ScopedBusyCursor() : previous_(TheDesktop().ScreenCursor()) {
        TheDesktop().SetScreenCursor(Desktop::Cursor::Busy);
    }
    ~ScopedBusyCursor() { TheDesktop().SetScreenCursor(previous_); }
    ScopedBusyCursor(const ScopedBusyCursor&) = delete;
    ScopedBusyCursor& operator=(const ScopedBusyCursor&) = delete;

private:
    Desktop::Cursor previous_;
};

}  // namespace flipbook
