// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include <QEventLoop>
#include <QPointer>

class QMessageBox;
class QProgressDialog;
class QWidget;

namespace flipbook {

// The wait for the snapshots still being saved when the window closes. The window's thread sleeps
// until the next report comes (nothing polls); a progress dialog shows after half a second, and after
// kOfferQuitAfter it offers "Quit Without Saving", which asks first and names how many pictures would
// be lost. The question follows the saves while it is open: its count is always the present one, and
// once the last save is done it goes by itself, since nothing would be lost. The saves that fail
// meanwhile are kept, for a message box once the wait is over.
class PendingSavesWait {
public:
    static constexpr std::chrono::seconds kOfferQuitAfter{3};
    static constexpr const char* kQuitButton = "Quit Without Saving";
    // The question's object name, for whoever looks for it among the top-level windows.
    static constexpr const char* kQuestionName = "dlgQuitWithoutSaving";

    enum class Outcome { AllReported, QuitWithoutSaving };

    // For the given number of pending saves, over the window.
    PendingSavesWait(QWidget* window, int pending);
    ~PendingSavesWait();
    PendingSavesWait(const PendingSavesWait&) = delete;
    PendingSavesWait& operator=(const PendingSavesWait&) = delete;

    // One save reported, with how many are still pending; a failed one names its file and reason.
    void Reported(int stillPending, const std::string& failure);

    // Returns once every save was reported, or the user chose to quit without the rest.
    Outcome Run();

    // The failures reported while waiting, one "name: reason" each.
    const std::vector<std::string>& Failures() const { return failures_; }

private:
    void OfferQuit();
    void QuitAsked();
    void QuestionAnswered(int button);

    const int total_;
    int pending_;
    bool quitWithoutSaving_ = false;
    std::vector<std::string> failures_;
    QEventLoop loop_;
    QProgressDialog* progress_;       // owned by the window until the destructor deletes it
    QPointer<QMessageBox> question_;  // open while "Quit Without Saving" asks
};

// The question "Quit Without Saving" asks: how many pictures would be lost.
std::string QuitWithoutSavingQuestion(int pending);

// The message box text for pictures that failed to save while the window closed; "" for none.
std::string UnsavedPicturesMessage(const std::vector<std::string>& failures);

// The message box text for the pictures left unsaved by "Quit Without Saving", by name; "" for none.
std::string LeftUnsavedMessage(const std::vector<std::string>& names);

}  // namespace flipbook
