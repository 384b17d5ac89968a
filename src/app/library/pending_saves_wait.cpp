// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/library/pending_saves_wait.h"

#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>

namespace flipbook {

PendingSavesWait::PendingSavesWait(QWidget* window, int pending)
    : total_(pending), pending_(pending), progress_(new QProgressDialog(window)) {
    progress_->setLabelText(QStringLiteral("Saving pictures..."));
    progress_->setRange(0, total_);
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(500);
    // The dialog stays up through a declined question; it goes only with the wait.
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setCancelButton(nullptr);
    QObject::connect(progress_, &QProgressDialog::canceled, progress_, [this] { QuitAsked(); });
    QTimer::singleShot(kOfferQuitAfter, progress_, [this] { OfferQuit(); });
}

PendingSavesWait::~PendingSavesWait() {
    delete question_;
    delete progress_;
}

void PendingSavesWait::Reported(int stillPending, const std::string& failure) {
    pending_ = stillPending;
    if (!failure.empty()) failures_.push_back(failure);
    progress_->setValue(total_ - pending_);
    if (question_) {
        if (pending_ > 0) {
            question_->setText(QString::fromStdString(QuitWithoutSavingQuestion(pending_)));
        } else {
            // Nothing left to lose: the question has no more point.
            question_->hide();
            question_->deleteLater();
        }
    }
    if (pending_ <= 0) loop_.quit();
}

PendingSavesWait::Outcome PendingSavesWait::Run() {
    progress_->setValue(0);
    // Every report and every click wakes the loop; between them the thread sleeps.
    while (pending_ > 0 && !quitWithoutSaving_) loop_.exec();
    progress_->hide();
    return quitWithoutSaving_ ? Outcome::QuitWithoutSaving : Outcome::AllReported;
}

void PendingSavesWait::OfferQuit() {
    progress_->setCancelButtonText(QString::fromLatin1(kQuitButton));
    progress_->show();
}

void PendingSavesWait::QuitAsked() {
    if (pending_ <= 0 || question_) return;
    // Not a blocking question: the saves' reports keep its count true while it is open.
    question_ = new QMessageBox(QMessageBox::Question, QString::fromLatin1(kQuitButton),
                                QString::fromStdString(QuitWithoutSavingQuestion(pending_)),
                                QMessageBox::Yes | QMessageBox::No, progress_->parentWidget());
    question_->setObjectName(QString::fromLatin1(kQuestionName));
    question_->setDefaultButton(QMessageBox::No);
    question_->setWindowModality(Qt::WindowModal);
    QObject::connect(question_, &QMessageBox::finished, progress_,
                     [this](int button) { QuestionAnswered(button); });
    question_->open();
}

void PendingSavesWait::QuestionAnswered(int button) {
    if (question_) question_->deleteLater();
    if (pending_ <= 0) return;
    if (button != QMessageBox::Yes) {
        // Declined: the dialog, which hid itself on the click, comes back and the wait goes on.
        progress_->show();
        progress_->setValue(total_ - pending_);
        return;
    }
    quitWithoutSaving_ = true;
    loop_.quit();
}

std::string QuitWithoutSavingQuestion(int pending) {
    if (pending == 1) return "1 picture is not saved yet and will be lost. Quit without saving it?";
    return std::to_string(pending) +
           " pictures are not saved yet and will be lost. Quit without saving them?";
}

std::string LeftUnsavedMessage(const std::vector<std::string>& names) {
    if (names.empty()) return {};
    std::string message = names.size() == 1 ? "You quit without saving; this picture was not saved:"
                                            : "You quit without saving; these " +
                                                  std::to_string(names.size()) + " pictures were not saved:";
    for (const std::string& name : names) message += "\n" + name;
    return message;
}

std::string UnsavedPicturesMessage(const std::vector<std::string>& failures) {
    if (failures.empty()) return {};
    std::string message =
        failures.size() == 1 ? "This picture was not saved:" : "These pictures were not saved:";
    for (const std::string& failure : failures) message += "\n" + failure;
    return message;
}

}  // namespace flipbook
