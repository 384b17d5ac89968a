// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/desktop.h"

namespace flipbook::testing {

// Desktop services that record what the program asked for; installed for its lifetime.
class FakeDesktop : public Desktop {
public:
    FakeDesktop() : previous_(InstallDesktop(this)) {}
    ~FakeDesktop() override { InstallDesktop(previous_); }
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    void Beep() override { ++beeps; }
    void PlaySound(const std::filesystem::path& waveFile) override { sounds.push_back(waveFile); }
    bool OpenUrl(const std::string& address) override {
        openedUrls.push_back(address);
        return openSucceeds;
    }
    Cursor ScreenCursor() const override { return cursor; }
    void SetScreenCursor(Cursor newCursor) override { cursor = newCursor; }
    bool Ask(const std::string& caption, const std::string& question) override {
        questions.push_back(caption + ": " + question);
        if (answers.empty()) return answer;
        const bool next = answers.front();
        answers.pop_front();
        return next;
    }
    void ShowError(const std::string& message) override { errors.push_back(message); }

    int beeps = 0;
    bool openSucceeds = true;
    bool answer = true;
    // Answers given in turn before answer takes over.
    std::deque<bool> answers;
    Cursor cursor = Cursor::Default;
    std::vector<std::string> openedUrls;
    std::vector<std::string> questions;
    std::vector<std::string> errors;
    std::vector<std::filesystem::path> sounds;

private:
    Desktop* previous_;
};

}  // namespace flipbook::testing
