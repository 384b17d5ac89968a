// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/select_dir.h"

#include "support/fake_desktop.h"
#include "support/temp_dir.h"
#include "widgets/select_dir_files.h"
#include "widgets/select_dir_lists.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include <sys/stat.h>

namespace flipbook {
namespace {

namespace fs = std::filesystem;

constexpr SelectDirOptions kAllOptions{SelectDirOption::AllowCreate, SelectDirOption::PerformCreate,
                                       SelectDirOption::Prompt};

// Answers the next modal window of the given kind from inside its own event loop: the dialogs
// under test are shown with exec(), so the test has to act from a timer.
template <class Window>
class WhenShown {
public:
    explicit WhenShown(std::function<void(Window&)> answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* window = qobject_cast<Window*>(QApplication::activeModalWidget())) {
                timer_.stop();
                answer_(*window);
                answered_ = true;
                // A failed check returns early; close the window so the test ends instead of hanging.
                if (QTest::currentTestFailed() && window->isVisible()) window->reject();
            }
        });
        timer_.start(5);
    }
    // True once the answer has run: the checks inside it were made. Every test whose checks live in an
    // answer verifies this, or a window that never showed would pass them all unseen.
    bool Answered() const { return answered_; }

private:
    std::function<void(Window&)> answer_;
    QTimer timer_;
    bool answered_ = false;
};

template <class Widget>
Widget& Child(QWidget& parent, const char* name) {
    auto* child = parent.findChild<Widget*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no child %s", name);
    return *child;
}

QPushButton* ButtonWithText(QMessageBox& box, const QString& text) {
    for (auto* button : box.buttons()) {
        if (button->text() == text) return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

void Click(QPushButton& button) {
    QTest::mouseClick(&button, Qt::LeftButton);
}

void DoubleClick(TDirectoryListBox& list, int row) {
    // A double click is a click followed by the double-click event, as the window system sends it.
    const QPoint centre = list.visualItemRect(list.item(row)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
}

// Types the text key by key; a character no key of the test's keyboard has comes as its text alone,
// as an input method gives it.
void Type(QWidget& widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(&widget, static_cast<char>(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Click, &widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

int RowOf(TDirectoryListBox& list, const QString& text) {
    for (int row = 0; row < list.count(); ++row) {
        if (list.item(row)->text() == text) return row;
    }
    return -1;
}

QStringList Texts(QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
    return texts;
}

// Counts how often the busy cursor was put up.
class CursorCountingDesktop : public testing::FakeDesktop {
public:
    void SetScreenCursor(Cursor newCursor) override {
        if (newCursor == Cursor::Busy && cursor != Cursor::Busy) ++busySpells;
        FakeDesktop::SetScreenCursor(newCursor);
    }
    int busySpells = 0;
};

QString Q(const fs::path& path) {
    return QString::fromStdString(path.string());
}

}  // namespace

class SelectDirTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        temp_ = std::make_unique<testing::TempDir>();
        root_ = fs::canonical(temp_->Path());
        startedIn_ = fs::current_path();
        desktop_ = std::make_unique<CursorCountingDesktop>();
    }
    void cleanup() {
        InstallDriveSource({});
        fs::current_path(startedIn_);
        desktop_.reset();
        if (QTest::currentTestFailed()) temp_->Keep();
        temp_.reset();
    }

    void emptyStartOpensInTheCurrentDirectoryWithTheLayout() {
        fs::create_directories(root_ / "b");
        fs::create_directories(root_ / "A");
        fs::create_directories(root_ / ".hidden");
        std::ofstream(root_ / "z.png") << "z";
        std::ofstream(root_ / "a.txt") << "a";
        std::ofstream(root_ / ".secret") << "s";
        ::mkfifo((root_ / "pipe").c_str(), 0600);
        fs::current_path(root_);

        std::string directory;
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Directory"));
            QCOMPARE(dialog.size(), QSize(424, 255));
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");
            QVERIFY(edit.isVisible());
            QVERIFY(!Child<QWidget>(dialog, "DirLabel").isVisible());
            QCOMPARE(edit.text(), Q(root_));
            QCOMPARE(edit.selectedText(), edit.text());
            QCOMPARE(dialog.focusWidget(), &Child<QWidget>(dialog, "DirList"));

            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            const int current = list.currentRow();
            QCOMPARE(list.EntryKindOf(current), TDirectoryListBox::EntryKind::Current);
            QCOMPARE(list.item(current)->text(), Q(root_.filename()));
            QCOMPARE(list.item(0)->text(), QStringLiteral("/"));
            QCOMPARE(list.EntryDepth(current),
                     static_cast<int>(std::distance(root_.begin(), root_.end())) - 1);
            QCOMPARE(Texts(list).mid(current + 1), (QStringList{"A", "b"}));
            QCOMPARE(list.EntryKindOf(current + 1), TDirectoryListBox::EntryKind::Subdirectory);
            QCOMPARE(list.EntryDepth(current + 1), list.EntryDepth(current) + 1);
            QCOMPARE(Texts(Child<TFileListBox>(dialog, "FileList")), (QStringList{"a.txt", "z.png"}));

            // Help context 0: no Help button, OK and Cancel move to the right.
            QVERIFY(!Child<QPushButton>(dialog, "HelpButton").isVisible());
            QVERIFY(!Child<QPushButton>(dialog, "NetButton").isVisible());
            QCOMPARE(Child<QPushButton>(dialog, "OKButton").geometry(), QRect(256, 224, 77, 27));
            QCOMPARE(Child<QPushButton>(dialog, "CancelButton").geometry(), QRect(340, 224, 77, 27));
            QVERIFY(Child<QPushButton>(dialog, "OKButton").isDefault());
            Click(Child<QPushButton>(dialog, "CancelButton"));
        });

        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(directory, std::string());
    }

    void withoutAllowCreateTheLabelShowsTheDirectory() {
        fs::create_directories(root_ / "pics");
        std::string directory = (root_ / "pics").string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            QVERIFY(!Child<QWidget>(dialog, "DirEdit").isVisible());
            QCOMPARE(Child<TPathLabel>(dialog, "DirLabel").text(), Q(root_ / "pics"));
            QCOMPARE(Child<TPathLabel>(dialog, "DirLabel").geometry(), QRect(8, 24, 313, 20));
            QVERIFY(Child<QPushButton>(dialog, "HelpButton").isVisible());
            QCOMPARE(Child<QPushButton>(dialog, "OKButton").x(), 172);
            Click(Child<QPushButton>(dialog, "OKButton"));
        });
        QVERIFY(SelectDirectory(nullptr, directory, {}, 5));
        QVERIFY(answer.Answered());
        QCOMPARE(directory, (root_ / "pics").string());
    }

    void startDirectoryOnADriveOpensThereAndOKTakesIt() {
        fs::create_directories(root_ / "d" / "pics" / "old");
        InstallDriveSource([this] {
            return std::vector<Drive>{{"/", DriveKind::Fixed, "system"},
                                      {(root_ / "d").string(), DriveKind::Ram, "d"}};
        });
        std::string directory = (root_ / "d" / "pics").string() + "/";
        WhenShown<QMessageBox> noQuestion([](QMessageBox& box) { box.reject(); });
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            QCOMPARE(Child<QComboBox>(dialog, "DriveList").currentIndex(), 1);
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            QCOMPARE(Texts(list), (QStringList{Q(root_ / "d"), "pics", "old"}));
            QCOMPARE(list.currentRow(), 1);
            Click(Child<QPushButton>(dialog, "OKButton"));
        });

        QVERIFY(SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QVERIFY(!noQuestion.Answered());
        QCOMPARE(directory, (root_ / "d" / "pics").string());
        QCOMPARE(fs::current_path(), root_ / "d" / "pics");
    }

    void aVanishedFolderFallsBackToItsDrivesCurrentDirectory() {
        fs::create_directories(root_ / "d");
        InstallDriveSource([this] {
            return std::vector<Drive>{{"/", DriveKind::Fixed, ""},
                                      {(root_ / "d").string(), DriveKind::Fixed, ""}};
        });
        std::string directory = (root_ / "d" / "gone" / "pics").string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            QCOMPARE(Child<QLineEdit>(dialog, "DirEdit").text(), Q(root_ / "d"));
            QCOMPARE(Child<QComboBox>(dialog, "DriveList").currentIndex(), 1);
            dialog.reject();
        });
        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QVERIFY(desktop_->errors.empty());
    }

    void aDeletedCurrentFolderOpensTheChooserInTheHomeFolder() {
        fs::create_directories(root_ / "pics");
        ChangeDirectory((root_ / "pics").string());
        fs::remove(root_ / "pics");
        std::string directory = (root_ / "pics").string() + "/";
        WhenShown<TSelectDirDlg> answer([](TSelectDirDlg& dialog) {
            QCOMPARE(Child<QLineEdit>(dialog, "DirEdit").text(), QString::fromLocal8Bit(qgetenv("HOME")));
            dialog.reject();
        });
        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
    }

    void aDriveThatCannotBeEnteredFailsBeforeShowing() {
        InstallDriveSource([this] {
            return std::vector<Drive>{{"/", DriveKind::Fixed, ""},
                                      {(root_ / "card").string(), DriveKind::Removable, ""}};
        });
        std::string directory = (root_ / "card" / "pics").string();
        WhenShown<TSelectDirDlg> answer([](TSelectDirDlg& dialog) { dialog.reject(); });
        try {
            SelectDirectory(nullptr, directory, kAllOptions, 0);
            QFAIL("the chooser opened on a drive that is not there");
        } catch (const EInOutError& error) {
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("File not found"));
        }
        QVERIFY(!answer.Answered());
        QCOMPARE(directory, (root_ / "card" / "pics").string());
    }

    void confirmingAMissingPathAsksAndCreatesItOnYes() {
        const fs::path wanted = root_ / "new" / "deeper" / "pics";
        std::string directory = root_.string();
        int questions = 0;
        auto answerWith = [&](const QString& buttonText) {
            return [&, buttonText](QMessageBox& box) {
                ++questions;
                QCOMPARE(box.windowTitle(), QStringLiteral("Confirm"));
                QCOMPARE(box.text(), QStringLiteral("The specified directory does not exist. Create it?"));
                QCOMPARE(box.icon(), QMessageBox::Question);
                QCOMPARE(box.defaultButton(), ButtonWithText(box, "&Yes"));
                QCOMPARE(box.escapeButton(), ButtonWithText(box, "&No"));
                Click(*ButtonWithText(box, buttonText));
            };
        };
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");
            edit.setText(Q(wanted));
            {
                WhenShown<QMessageBox> no(answerWith("&No"));
                Click(Child<QPushButton>(dialog, "OKButton"));
                QVERIFY(no.Answered());
            }
            QVERIFY(dialog.isVisible());
            QCOMPARE(edit.text(), Q(wanted));
            QVERIFY(!fs::exists(root_ / "new"));
            WhenShown<QMessageBox> yes(answerWith("&Yes"));
            Click(Child<QPushButton>(dialog, "OKButton"));
            QVERIFY(yes.Answered());
        });

        QVERIFY(SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(questions, 2);
        QCOMPARE(directory, wanted.string());
        QVERIFY(fs::is_directory(wanted));
    }

    void aRelativeOrEmptyPathThatCannotBeMadeFails() {
        fs::current_path(root_);
        for (const QString& typed : {QStringLiteral("rel/pics"), QString()}) {
            std::string directory = root_.string();
            WhenShown<QMessageBox> yes([](QMessageBox& box) { Click(*ButtonWithText(box, "&Yes")); });
            WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
                Child<QLineEdit>(dialog, "DirEdit").setText(typed);
                Click(Child<QPushButton>(dialog, "OKButton"));
            });
            try {
                SelectDirectory(nullptr, directory, kAllOptions, 0);
                QFAIL("a path that cannot be made was taken");
            } catch (const EInOutError& error) {
                QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("Unable to create directory"));
            }
            QVERIFY(answer.Answered());
            QVERIFY(yes.Answered());
            QCOMPARE(QString::fromStdString(directory), typed);
        }
        QVERIFY(!fs::exists(root_ / "rel"));
    }

    void browsingMovesTheCurrentDirectoryWhichStaysAfterCancel() {
        fs::create_directories(root_ / "one" / "two");
        fs::create_directories(root_ / "other");
        std::string directory = root_.string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");

            // A single click only selects.
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                              list.visualItemRect(list.item(RowOf(list, "other"))).center());
            QCOMPARE(list.currentRow(), RowOf(list, "other"));
            QCOMPARE(edit.text(), Q(root_));
            QCOMPARE(fs::current_path(), root_);

            DoubleClick(list, RowOf(list, "one"));
            QCOMPARE(edit.text(), Q(root_ / "one"));
            QCOMPARE(edit.selectedText(), edit.text());
            QCOMPARE(fs::current_path(), root_ / "one");

            // Enter opens the selected entry and does not close the dialog.
            list.setCurrentRow(RowOf(list, "two"));
            QTest::keyClick(&list, Qt::Key_Return);
            QVERIFY(dialog.isVisible());
            QCOMPARE(edit.text(), Q(root_ / "one" / "two"));

            // An ancestor entry leads back up.
            DoubleClick(list, RowOf(list, "one"));
            QCOMPARE(edit.text(), Q(root_ / "one"));
            QCOMPARE(list.item(list.currentRow())->text(), QStringLiteral("one"));
            Click(Child<QPushButton>(dialog, "CancelButton"));
        });

        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(directory, root_.string());
        QCOMPARE(fs::current_path(), root_ / "one");
    }

    void aFolderThatVanishedInsideTheDialogIsReportedAndKept() {
        fs::create_directories(root_ / "soon-gone");
        std::string directory = root_.string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            fs::remove(root_ / "soon-gone");
            DoubleClick(list, RowOf(list, "soon-gone"));
            QCOMPARE(desktop_->errors, (std::vector<std::string>{"File not found"}));
            QVERIFY(dialog.isVisible());
            QCOMPARE(list.Directory(), root_.string());
            QCOMPARE(list.EntryKindOf(list.currentRow()), TDirectoryListBox::EntryKind::Current);
            dialog.reject();
        });
        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
    }

    void changingTheDriveGoesToThatDrivesCurrentDirectory() {
        fs::create_directories(root_ / "c" / "work");
        fs::create_directories(root_ / "d" / "pics");
        InstallDriveSource([this] {
            return std::vector<Drive>{{(root_ / "c").string(), DriveKind::Fixed, ""},
                                      {(root_ / "d").string(), DriveKind::Fixed, ""}};
        });
        std::string directory = (root_ / "c" / "work").string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& drives = Child<QComboBox>(dialog, "DriveList");
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            QCOMPARE(drives.currentIndex(), 0);

            drives.setCurrentIndex(1);
            emit drives.activated(1);
            QCOMPARE(edit.text(), Q(root_ / "d"));
            DoubleClick(list, RowOf(list, "pics"));

            // Back on the first drive, the list returns to where it was there.
            drives.setCurrentIndex(0);
            emit drives.activated(0);
            QCOMPARE(edit.text(), Q(root_ / "c" / "work"));
            drives.setCurrentIndex(1);
            emit drives.activated(1);
            QCOMPARE(edit.text(), Q(root_ / "d" / "pics"));
            Click(Child<QPushButton>(dialog, "OKButton"));
        });
        QVERIFY(SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(directory, (root_ / "d" / "pics").string());
    }

    void aDriveThatIsGoneIsReportedAndTheBoxReturns() {
        fs::create_directories(root_ / "c");
        InstallDriveSource([this] {
            return std::vector<Drive>{{(root_ / "c").string(), DriveKind::Fixed, ""},
                                      {(root_ / "ejected").string(), DriveKind::Removable, ""}};
        });
        std::string directory = (root_ / "c").string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& drives = Child<QComboBox>(dialog, "DriveList");
            drives.setCurrentIndex(1);
            emit drives.activated(1);
            QCOMPARE(desktop_->errors, (std::vector<std::string>{"File not found"}));
            QCOMPARE(drives.currentIndex(), 0);
            QCOMPARE(Child<QLineEdit>(dialog, "DirEdit").text(), Q(root_ / "c"));
            dialog.reject();
        });
        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(fs::current_path(), root_ / "c");
    }

    // Names that are not valid UTF-8 are shown as well as they read, but each entry leads to its own
    // folder, and OK takes that folder's bytes; typing such a name as shown leads to the folder that
    // shows so (the one on the way first), never to a look-alike made beside it.
    void aFolderNameThatIsNotUtf8_OpensAndIsTakenAsItsBytes() {
        const std::string bad = "bad\xff";
        const std::string other = "bad\xfe";
        fs::create_directories(root_ / bad / "inner");
        fs::create_directories(root_ / other);
        std::ofstream(root_ / bad / "pic-\xff.png") << "p";
        const QString shown = QStringLiteral("bad") + QChar(QChar::ReplacementCharacter);
        const std::string lookAlike = "bad\xEF\xBF\xBD";
        std::string directory = root_.string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");
            QCOMPARE(Texts(list).mid(list.currentRow() + 1), (QStringList{shown, shown}));
            // Sorted by their bytes: 0xfe before 0xff.
            DoubleClick(list, list.currentRow() + 2);
            QCOMPARE(desktop_->errors, std::vector<std::string>{});
            QCOMPARE(list.Directory(), (root_ / bad).string());
            QCOMPARE(list.item(list.currentRow())->text(), shown);
            QCOMPARE(Texts(list).mid(list.currentRow() + 1), QStringList{"inner"});
            QCOMPARE(Texts(Child<TFileListBox>(dialog, "FileList")),
                     QStringList{QStringLiteral("pic-") + QChar(QChar::ReplacementCharacter) + ".png"});
            QCOMPARE(edit.text(), Q(root_) + "/" + shown);

            // Typed as shown, a name leads into the folder that shows so: the one the chooser stands
            // in, although the other one reads the same and comes first.
            edit.selectAll();
            Type(edit, Q(root_) + "/" + shown + "/new");
            WhenShown<QMessageBox> yes([](QMessageBox& box) { Click(*ButtonWithText(box, "&Yes")); });
            Click(Child<QPushButton>(dialog, "OKButton"));
            QVERIFY(yes.Answered());
        });
        QVERIFY(SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
        QCOMPARE(directory, (root_ / bad / "new").string());
        QVERIFY(fs::is_directory(root_ / bad / "new"));

        // From elsewhere, the name typed as shown leads to the first folder that reads so; it exists,
        // so nothing is asked.
        fs::current_path(root_);
        directory = root_.string();
        WhenShown<QMessageBox> noQuestion([](QMessageBox& box) { box.reject(); });
        WhenShown<TSelectDirDlg> typed([&](TSelectDirDlg& dialog) {
            auto& edit = Child<QLineEdit>(dialog, "DirEdit");
            edit.selectAll();
            Type(edit, shown);
            Click(Child<QPushButton>(dialog, "OKButton"));
        });
        QVERIFY(SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(typed.Answered());
        QVERIFY(!noQuestion.Answered());
        QCOMPARE(directory, other);
        QVERIFY(!fs::exists(root_ / lookAlike));

        // Without the edit box, OK takes the folder shown as its bytes.
        directory = (root_ / bad).string();
        WhenShown<TSelectDirDlg> label([&](TSelectDirDlg& dialog) {
            QCOMPARE(Child<TPathLabel>(dialog, "DirLabel").text(), Q(root_) + "/" + shown);
            Click(Child<QPushButton>(dialog, "OKButton"));
        });
        QVERIFY(SelectDirectory(nullptr, directory, {}, 0));
        QVERIFY(label.Answered());
        QCOMPARE(directory, (root_ / bad).string());
    }

    // Listing a large folder may take a while, and the cursor says so.
    void aFolderOfAHundredFilesShowsTheBusyCursorWhileListed() {
        fs::create_directories(root_ / "few");
        fs::create_directories(root_ / "many");
        for (int i = 0; i < 100; ++i) {
            std::ofstream(root_ / "many" / ("snap-" + std::to_string(i) + ".png")) << i;
            if (i < 99) std::ofstream(root_ / "few" / ("snap-" + std::to_string(i) + ".png")) << i;
        }
        std::string directory = (root_ / "few").string();
        WhenShown<TSelectDirDlg> answer([&](TSelectDirDlg& dialog) {
            QCOMPARE(Child<TFileListBox>(dialog, "FileList").count(), 99);
            QCOMPARE(desktop_->busySpells, 0);
            auto& list = Child<TDirectoryListBox>(dialog, "DirList");
            DoubleClick(list, list.currentRow() - 1);  // up to the parent
            DoubleClick(list, RowOf(list, "many"));
            QCOMPARE(Child<TFileListBox>(dialog, "FileList").count(), 100);
            QCOMPARE(desktop_->busySpells, 1);
            QCOMPARE(desktop_->cursor, Desktop::Cursor::Default);
            dialog.reject();
        });
        QVERIFY(!SelectDirectory(nullptr, directory, kAllOptions, 0));
        QVERIFY(answer.Answered());
    }

private:
    std::unique_ptr<testing::TempDir> temp_;
    fs::path root_;
    fs::path startedIn_;
    std::unique_ptr<CursorCountingDesktop> desktop_;
};

}  // namespace flipbook

QTEST_MAIN(flipbook::SelectDirTest)
#include "select_dir_test.moc"
