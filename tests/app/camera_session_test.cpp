// SPDX-License-Identifier: GPL-3.0-or-later
// The camera session on its own, over a real capture graph and the test camera: what it tells the
// window when the camera is pulled out and plugged in again. The window's time-lapse and status bar
// rely on it: a loss is told once however often it is reported, and its state changes first.

#include <QComboBox>
#include <QStringList>
#include <QTest>

#include <atomic>
#include <memory>

#include "app/camera/camera_session.h"
#include "capture/filter.h"
#include "capture/filter_graph.h"
#include "capture/sample_grabber.h"
#include "platform/mediagraph/service.h"
#include "support/window_test_main.h"
#include "test_camera.h"

namespace flipbook {

class CameraSessionTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        session_->StopWatching();
        graph_->SetActive(false);
        session_.reset();
        source_.reset();
        grabber_.reset();
        graph_.reset();
        testing::SetTestCameras("");
    }

    void PulledOutAndPluggedIn_LossToldOnceAfterItsState_RecoverySaysNothing() {
        Start("Camera A:320x240@30");
        QVERIFY(WaitForFrames(3));
        QVERIFY(events_.isEmpty());

        testing::PullOutTestCamera("Camera A");
        QVERIFY(QTest::qWaitFor([&] { return session_->CameraLost(); }, 10000));
        QCOMPARE(devices_.count(), 0);
        const QString problem = QStringLiteral("Camera A: the camera was disconnected");
        QCOMPARE(session_->Problem(), problem);
        // The stream's own report of the same loss, come late, says nothing new.
        session_->ShowCameraProblem(E_DEVICE_GONE, {});
        QCOMPARE(events_, QStringList({"changed, lost", "lost " + problem}));

        events_.clear();
        testing::PlugInTestCamera("Camera A:320x240@30");
        QVERIFY(QTest::qWaitFor([&] { return !session_->CameraLost(); }, 10000));
        QVERIFY(WaitForFrames(3));
        QCOMPARE(devices_.currentText(), QStringLiteral("Camera A"));
        // The problem is gone before the camera is bound again; nothing is said, the status bar shows
        // the present state.
        QCOMPARE(events_, QStringList({"selecting", "changed, working"}));
    }

private:
    void Start(const std::string& cameras) {
        testing::SetTestCameras(cameras);
        // The window's graph, as the window makes it.
        graph_ = std::make_unique<TFilterGraph>();
        graph_->SetMode(gmCapture);
        graph_->OnGraphDeviceLost = [this](TFilterGraph&, IUnknown*, bool) {
            session_->ShowCameraProblem(E_DEVICE_GONE, {});
        };
        graph_->OnGraphErrorAbort = [this](TFilterGraph&, HRESULT result, const std::string& message) {
            session_->ShowCameraProblem(result, message);
        };
        grabber_ = std::make_unique<TSampleGrabber>("fwSampleGrabber");
        grabber_->OnBuffer = [frames = frames_](TSampleGrabber&, double, const std::uint8_t*, std::uint32_t) {
            ++*frames;
        };
        grabber_->SetFilterGraph(graph_.get());
        source_ = std::make_unique<TFilter>("fwFilterSource");
        source_->SetFilterGraph(graph_.get());

        TCameraSession::Hooks hooks;
        hooks.fillDevices = [this](const std::vector<std::string>& names) {
            for (const std::string& name : names) devices_.addItem(QString::fromStdString(name));
        };
        hooks.shown = [] { return true; };
        hooks.welcomeFirstCamera = [] { return false; };
        hooks.framesEnded = [] {};
        session_ = std::make_unique<TCameraSession>(
            nullptr, &devices_, TCameraSession::Graph{graph_, source_, grabber_}, std::move(hooks));
        connect(session_.get(), &TCameraSession::Changed, this, [this] {
            events_ << (session_->CameraLost() ? QStringLiteral("changed, lost")
                                               : QStringLiteral("changed, working"));
        });
        connect(session_.get(), &TCameraSession::Said, this,
                [this](const QString& text) { events_ << "said " + text; });
        connect(session_.get(), &TCameraSession::Lost, this,
                [this](const QString& problem) { events_ << "lost " + problem; });
        connect(session_.get(), &TCameraSession::Selecting, this, [this] { events_ << "selecting"; });

        session_->CreateDeviceList();
        session_->SelectFirstWorkingDevice();
        QVERIFY(!session_->CameraLost());
        events_.clear();
    }

    bool WaitForFrames(int count) {
        const int target = frames_->load() + count;
        return QTest::qWaitFor([&] { return frames_->load() >= target; }, 10000);
    }

    QComboBox devices_;
    std::unique_ptr<TFilterGraph> graph_;
    std::unique_ptr<TSampleGrabber> grabber_;
    std::unique_ptr<TFilter> source_;
    std::unique_ptr<TCameraSession> session_;
    std::shared_ptr<std::atomic<int>> frames_ = std::make_shared<std::atomic<int>>(0);
    QStringList events_;
};

}  // namespace flipbook

FLIPBOOK_WINDOW_TEST_MAIN(flipbook::CameraSessionTest)

#include "camera_session_test.moc"
