// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/fmMain.h"
#include "platform/mediagraph/service.h"
#include "test_camera.h"

#include <memory>
#include <stdexcept>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/window/application.h"
#include "app/window/image.h"
#include "capture/filter_graph.h"
#include "codecs/jpeg/jpeg_image.h"
#include "platform/com/class_factory.h"
#include "platform/mediagraph/graph.h"
#include "platform/versionres/test_elf_file.h"
#include "support/fake_desktop.h"
#include "support/temp_dir.h"
#include "widgets/url_label.h"

namespace flipbook {
namespace {

const QString kNoDevice = QStringLiteral("Init failed: No Video Input Device found. Please read Help!!");

QString ReadmePath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("readme.txt"));
}

void WriteReadme(const QByteArray& text) {
    QFile readme(ReadmePath());
    QVERIFY(readme.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(readme.write(text), text.size());
}

// A widget whose handler of its own event raises, as a faulty handler would. (Mouse and key
// delivery inside Qt keeps a few bytes that an exception unwinding through it never frees, which
// the leak checker would report; our own event type passes through none of that.)
class ThrowingWidget : public QWidget {
public:
    static constexpr QEvent::Type kFailingEvent = QEvent::User;

protected:
    bool event(QEvent* event) override {
        if (event->type() == kFailingEvent) throw std::runtime_error("handler failed");
        return QWidget::event(event);
    }
};

// A graph manager that keeps its filters in a list and whose Stop fails while asked to, the failure
// the real one gives when its pipeline cannot be stopped.
class StubbornGraph : public ComObject<IGraphBuilder, IMediaControl> {
public:
    HRESULT AddFilter(IBaseFilter* filter, const std::string&) override {
        filters_.emplace_back(filter);
        return S_OK;
    }
    HRESULT RemoveFilter(IBaseFilter* filter) override {
        std::erase_if(filters_, [filter](const ComPtr<IBaseFilter>& held) { return held.Get() == filter; });
        return S_OK;
    }
    HRESULT EnumFilters(std::vector<ComPtr<IBaseFilter>>& filters) override {
        filters = filters_;
        return S_OK;
    }
    HRESULT FindFilterByName(const std::string&, ComPtr<IBaseFilter>&) override { return VFW_E_NOT_FOUND; }
    HRESULT SetLogFile(std::intptr_t) override { return S_OK; }
    HRESULT Run() override { return S_OK; }
    HRESULT Stop() override { return refuseStop ? E_FAIL : S_OK; }

    bool refuseStop = true;

private:
    std::vector<ComPtr<IBaseFilter>> filters_;
};

}  // namespace

class FormMainTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QFile::remove(ReadmePath());
        desktop_ = std::make_unique<testing::FakeDesktop>();
        form_ = std::make_unique<TFormMain>();
    }

    void cleanup() {
        form_.reset();
        desktop_.reset();
        QFile::remove(ReadmePath());
    }

    // The controls' table as the window's design gives it: name, kind, parent and bounds (left, top,
    // width, height). The status bar lies along the bottom edge of the 688 x 466 client area, 19 high.
    // One comparison of the whole table, so a failure lists what differs, control by control.
    void Layout_EveryControlHasItsNameKindParentAndBounds() {
        struct Control {
            const char* name;
            const char* kind;
            QWidget* parent;
            QRect bounds;
        };
        TFormMain& f = *form_;
        const int clientWidth = 688;
        const int clientHeight = 466;
        const int statusHeight = 19;
        const Control controls[] = {
            {"pcMain", "QTabWidget", &f, {8, 8, 673, 433}},
            {"gbHelpInfo", "QGroupBox", f.tsMainHelp, {8, 8, 161, 385}},
            {"gbHelpReadme", "QGroupBox", f.tsMainHelp, {176, 8, 481, 385}},
            {"mmHelpReadme", "QPlainTextEdit", f.gbHelpReadme, {8, 16, 465, 361}},
            {"gbGrabVideo", "QGroupBox", f.tsMainGrab, {8, 8, 417, 385}},
            {"cbVideoDevices", "QComboBox", f.gbGrabVideo, {8, 16, 401, 21}},
            {"ckGrabOnion", "QCheckBox", f.gbGrabVideo, {8, 352, 97, 17}},
            {"tbGrabOnion", "QSlider", f.gbGrabVideo, {112, 352, 185, 21}},
            {"btGrabSnap", "QPushButton", f.gbGrabVideo, {336, 352, 75, 25}},
            {"imGrabSample", "flipbook::TImage", f.gbGrabVideo, {8, 40, 400, 300}},
            {"gbGrabPictures", "QGroupBox", f.tsMainGrab, {432, 8, 225, 385}},
            {"cbSnapshotsExt", "QComboBox", f.gbGrabPictures, {8, 16, 209, 21}},
            {"lbSnapshots", "QListWidget", f.gbGrabPictures, {8, 40, 209, 301}},
            {"btSnapshotsDir", "QPushButton", f.gbGrabPictures, {144, 352, 75, 25}},
            {"sbMain", "QStatusBar", &f, {0, clientHeight - statusHeight, clientWidth, statusHeight}},
        };
        const auto describe = [](const char* name, const QString& kind, const QWidget* parent,
                                 const QRect& bounds) {
            return QStringLiteral("%1: %2 in %3 at %4, %5 size %6 x %7")
                .arg(QString::fromLatin1(name), kind, parent ? parent->objectName() : QStringLiteral("none"))
                .arg(bounds.left())
                .arg(bounds.top())
                .arg(bounds.width())
                .arg(bounds.height());
        };
        QStringList expected;
        QStringList actual;
        for (const Control& control : controls) {
            expected << describe(control.name, QString::fromLatin1(control.kind), control.parent,
                                 control.bounds);
            auto* widget = f.findChild<QWidget*>(QString::fromLatin1(control.name));
            if (widget == nullptr) {
                actual << QStringLiteral("%1: missing").arg(QString::fromLatin1(control.name));
                continue;
            }
            const QString kind = widget->inherits(control.kind)
                                     ? QString::fromLatin1(control.kind)
                                     : QString::fromLatin1(widget->metaObject()->className());
            actual << describe(control.name, kind, widget->parentWidget(), widget->geometry());
        }
        QCOMPARE(actual, expected);

        // The link label sits at its place and takes the size of its text.
        QCOMPARE(f.hlUrlUpdate->parentWidget(), f.gbHelpInfo);
        QCOMPARE(f.hlUrlUpdate->pos(), QPoint(8, 24));
        QCOMPARE(f.hlUrlUpdate->size(), f.hlUrlUpdate->sizeHint());

        QCOMPARE(f.pcMain->count(), 2);
        QCOMPARE(f.pcMain->widget(0), f.tsMainHelp);
        QCOMPARE(f.pcMain->tabText(0), QStringLiteral("Help"));
        QCOMPARE(f.pcMain->widget(1), f.tsMainGrab);
        QCOMPARE(f.pcMain->tabText(1), QStringLiteral("Record"));
        QCOMPARE(f.tsMainHelp->objectName(), QStringLiteral("tsMainHelp"));
        QCOMPARE(f.tsMainGrab->objectName(), QStringLiteral("tsMainGrab"));
        QCOMPARE(f.pcMain->currentWidget(), f.tsMainHelp);
    }

    void Layout_WindowIsFixedWithoutMaximise() {
        QCOMPARE(form_->size(), QSize(688, 466));
        QCOMPARE(form_->minimumSize(), QSize(688, 466));
        QCOMPARE(form_->maximumSize(), QSize(688, 466));
        QVERIFY(!(form_->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(form_->windowFlags() & Qt::WindowSystemMenuHint);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Flipbook Cam"));
        QCOMPARE(QApplication::font().pixelSize(), 11);
        QVERIFY(!form_->sbMain->isSizeGripEnabled());
    }

    void Layout_CaptionsItemsAndStates() {
        TFormMain& f = *form_;
        const std::pair<QString, const char*> captions[] = {
            {f.gbHelpInfo->title(), "Info"},
            {f.gbHelpReadme->title(), "Readme"},
            {f.gbGrabVideo->title(), "Video"},
            {f.gbGrabPictures->title(), "Pictures"},
            {f.hlUrlUpdate->text(), "Update..."},
            {f.ckGrabOnion->text(), "Onion Skin"},
            {f.btGrabSnap->text(), "&Snap"},
            {f.btSnapshotsDir->text(), "Folder..."},
            {f.miSnapDelete->text(), "Delete Picture"},
        };
        for (const auto& [shown, expected] : captions) QCOMPARE(shown, QString::fromLatin1(expected));

        QVERIFY(f.hlUrlUpdate->URL().startsWith(QStringLiteral("https://")));
        QCOMPARE(f.hlUrlUpdate->FontColor(), QColor(Qt::blue));
        QVERIFY(f.hlUrlUpdate->font().bold() && f.hlUrlUpdate->font().underline());
        QVERIFY(f.mmHelpReadme->isReadOnly());
        QCOMPARE(f.mmHelpReadme->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(f.mmHelpReadme->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(!f.cbVideoDevices->isEditable() && !f.cbSnapshotsExt->isEditable());
        QVERIFY(f.ckGrabOnion->isChecked());
        QCOMPARE(f.tbGrabOnion->orientation(), Qt::Horizontal);
        QCOMPARE(QList<int>({f.tbGrabOnion->minimum(), f.tbGrabOnion->maximum(), f.tbGrabOnion->value(),
                             f.tbGrabOnion->singleStep()}),
                 QList<int>({1, 100, 50, 1}));
        QCOMPARE(f.tbGrabOnion->tickPosition(), QSlider::NoTicks);
        QStringList formats;
        for (int index = 0; index < f.cbSnapshotsExt->count(); ++index)
            formats << f.cbSnapshotsExt->itemText(index);
        QCOMPARE(formats, QStringList({"PNG", "JPG", "BMP"}));
        QVERIFY(f.lbSnapshots->isSortingEnabled());

        QCOMPARE(f.pmSnapshots->objectName(), QStringLiteral("pmSnapshots"));
        // The first item; playback and export follow it (playback_test.cpp).
        QCOMPARE(f.pmSnapshots->actions().first(), f.miSnapDelete);
        QCOMPARE(f.miSnapDelete->objectName(), QStringLiteral("miSnapDelete"));
        QCOMPARE(f.miSnapDelete->shortcut(), QKeySequence(Qt::Key_Delete));
        QVERIFY(f.lbSnapshots->actions().contains(f.miSnapDelete));
        QCOMPARE(f.lbSnapshots->contextMenuPolicy(), Qt::CustomContextMenu);
    }

    void Layout_TabOrderFollowsTheTable() {
        const QStringList expected{"pcMain",         "mmHelpReadme", "cbVideoDevices",
                                   "ckGrabOnion",    "tbGrabOnion",  "btGrabSnap",
                                   "cbSnapshotsExt", "lbSnapshots",  "btSnapshotsDir"};
        QStringList order;
        for (QWidget* widget = form_->nextInFocusChain(); widget != form_.get();
             widget = widget->nextInFocusChain()) {
            if (expected.contains(widget->objectName()) && (widget->focusPolicy() & Qt::TabFocus)) {
                order << widget->objectName();
            }
        }
        QCOMPARE(order, expected);
    }

    void Show_WithoutCamera_DisablesTheRecordGroupsAndBeepsOnce() {
        ShowForm();
        TFormMain& f = *form_;
        QVERIFY(!f.gbGrabVideo->isEnabled());
        QVERIFY(!f.gbGrabPictures->isEnabled());
        QVERIFY(!f.btGrabSnap->isEnabled());
        QVERIFY(!f.lbSnapshots->isEnabled());
        QVERIFY(!f.cbVideoDevices->isEnabled());
        QVERIFY(f.tsMainGrab->isEnabled());
        QVERIFY(f.hlUrlUpdate->isEnabled());
        QVERIFY(f.mmHelpReadme->isEnabled());
        QCOMPARE(f.StatusText(), kNoDevice);
        QCOMPARE(desktop_->beeps, 1);
        QCOMPARE(f.cbSnapshotsExt->currentText(), QStringLiteral("PNG"));
        QCOMPARE(f.pcMain->currentWidget(), f.tsMainHelp);
        QVERIFY(desktop_->errors.empty());
    }

    void Show_SetsTheCaptionAndTitleFromTheVersionBlock() {
        ShowForm();
        QCOMPARE(form_->windowTitle(), QStringLiteral("Flipbook Cam 2004.06"));
        QCOMPARE(TApplication::Title(), QStringLiteral("Flipbook Cam 2004.06"));
    }

    // main() set the 8-bit default before the application started; the 24-bit test screen undoes it.
    void Start_SetsTheJpegPixelFormatFromTheScreensDepth() {
        QCOMPARE(JPEGDefaults().pixelFormat, JPEGPixelFormat::Bit24);
    }

    // The graph cannot be stopped: the error box says so and the window stays open; once it can be
    // stopped, the window closes.
    void Close_WhenClearingTheGraphFails_IsRefused() {
        auto graph = MakeCom<StubbornGraph>();
        ClassRegistration stubborn(CLSID_FilterGraph, [graph] { return graph.As<IUnknown>(); });
        // The device list is read when the first window is made; the one init made goes first.
        form_.reset();
        testing::SetTestCameras("Camera:160x120@30");
        form_ = std::make_unique<TFormMain>();
        ShowForm();
        QVERIFY(form_->fwFilterGraph->Active());
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible());
        QCOMPARE(desktop_->errors.size(), std::size_t{1});
        QVERIFY(form_->fwFilterGraph->Active());

        graph->refuseStop = false;
        QVERIFY(form_->close());
        QVERIFY(!form_->fwFilterGraph->Active());
        form_.reset();
        testing::SetTestCameras("");
    }

    void Show_StepsRunOnce_WhenTheWindowIsShownAgain() {
        ShowForm();
        form_->hide();
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QCOMPARE(desktop_->beeps, 1);
    }

    // Without a web browser "Update..." beeps and shows the address, to be copied into one.
    void UpdateLink_WithoutABrowser_ShowsTheAddress() {
        ShowForm();
        desktop_->openSucceeds = false;
        const int beeps = desktop_->beeps;
        form_->pcMain->setCurrentWidget(form_->tsMainHelp);
        QTest::mouseClick(form_->hlUrlUpdate, Qt::LeftButton, {}, form_->hlUrlUpdate->rect().center());
        QCOMPARE(desktop_->beeps, beeps + 1);
        QCOMPARE(desktop_->errors.size(), std::size_t{1});
        QVERIFY2(desktop_->errors[0].find(desktop_->openedUrls.at(0)) != std::string::npos,
                 desktop_->errors[0].c_str());
    }

    // Nothing is stored between runs: what Qt's own dialogs keep (a file dialog's history, under the
    // "QtProject" name) stays with the run, outside the user's folders.
    void QtsOwnSettings_StayOutOfTheUsersFolders() {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        const QStringList before =
            QDir(config).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        {
            QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
            settings.setValue(QStringLiteral("FileDialog/history"), QStringList{QDir::tempPath()});
            settings.sync();
            QCOMPARE(settings.status(), QSettings::NoError);
            QVERIFY2(
                !settings.fileName().startsWith(config) && !settings.fileName().startsWith(QDir::homePath()),
                qPrintable(settings.fileName()));
        }
        QCOMPARE(QDir(config).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    }

    void Show_LoadsTheReadme_OrLeavesTheBoxEmptyWithoutAWord() {
        ShowForm();
        QVERIFY(form_->mmHelpReadme->toPlainText().isEmpty());
        QVERIFY(desktop_->errors.empty());

        WriteReadme("First line\nZweite Zeile: äöü\n");
        form_ = std::make_unique<TFormMain>();
        ShowForm();
        QCOMPARE(form_->mmHelpReadme->toPlainText(), QString::fromUtf8("First line\nZweite Zeile: äöü\n"));
    }

    void Show_FailingVersionRead_IsReportedAndLeavesTheOtherStepsUndone() {
        testing::TempDir folder;
        testing::TestElfFile withoutBlock;
        withoutBlock.AddSection(".text", {0xC3});
        withoutBlock.Write(folder.File("plain"));
        WriteReadme("never loaded");
        form_->viVersionInfo.SetFileName(folder.File("plain"));

        ShowForm();
        QCOMPARE(desktop_->errors, std::vector<std::string>{"File does not contain version info"});
        QCOMPARE(form_->windowTitle(), QStringLiteral("Flipbook Cam"));
        QVERIFY(form_->mmHelpReadme->toPlainText().isEmpty());
        QVERIFY(form_->gbGrabVideo->isEnabled());
        QCOMPARE(desktop_->beeps, 0);
        // The window stays up and the program goes on handling events.
        QVERIFY(form_->isVisible());
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        QTRY_VERIFY(later);
    }

    void EventHandler_Exception_IsShownAndTheProgramGoesOn() {
        ThrowingWidget widget;
        QEvent failing(ThrowingWidget::kFailingEvent);
        QCoreApplication::sendEvent(&widget, &failing);
        QCOMPARE(desktop_->errors, std::vector<std::string>{"handler failed"});

        // Posted events reach the handler through the event loop, which carries on after each failure.
        QCoreApplication::postEvent(&widget, new QEvent(ThrowingWidget::kFailingEvent));
        bool later = false;
        QTimer::singleShot(0, [&later] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(desktop_->errors.size(), std::size_t{2});
    }

    void Close_HidesTheWindow() {
        ShowForm();
        QVERIFY(form_->close());
        QVERIFY(!form_->isVisible());
    }

private:
    void ShowForm() {
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    }

    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<TFormMain> form_;
};

}  // namespace flipbook

int main(int argc, char** argv) {
    // The window starts without any camera, also on a machine that has one: only the test camera's
    // devices are seen, and it announces none.
    flipbook::testing::PrepareTestCamera();
    flipbook::ComApartment apartment;
    flipbook::JPEGDefaults().pixelFormat = flipbook::JPEGPixelFormat::Bit8;
    flipbook::TApplication application(argc, argv);
    flipbook::FormMainTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "fmMain_test.moc"
