#pragma once

#include "platform/shell/desktop.h"

#include <deque>
#include <string>
#include <vector>

namespace flipbook::testing {

// Desktop services that record what the code asked of them and answer questions from a queue
// (no answer queued means "no"). Installed for as long as the object lives.
class FakeDesktop final : public Desktop {
public:
    struct Question {
        std::string caption;
        std::string text;
    };

    FakeDesktop() : previous_(InstallDesktop(this)) {}
    ~FakeDesktop() override { InstallDesktop(previous_); }
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    void Beep() override { ++beeps; }
    bool OpenUrl(const std::string& address) override {
        urls.push_back(address);
        return true;
    }
    Cursor ScreenCursor() const override { return cursor; }
    void SetScreenCursor(Cursor newCursor) override {
        if (newCursor == Cursor::Busy) ++busySpells;
        cursor = newCursor;
    }
    bool Ask(const std::string& caption, const std::string& question) override {
        questions.push_back({caption, question});
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowError(const std::string& message) override { errors.push_back(message); }

    int beeps = 0;
    int busySpells = 0;
    Cursor cursor = Cursor::Default;
    std::deque<bool> answers;
    std::vector<Question> questions;
    std::vector<std::string> errors;
    std::vector<std::string> urls;

private:
    Desktop* previous_;
};

}  // namespace flipbook::testing
