// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/url_label.h"

#include <memory>

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "support/fake_desktop.h"

namespace flipbook {
namespace {

const QColor kNormal(Qt::blue);
const QColor kHighlight(Qt::red);
const QString kAddress = QStringLiteral("https://flipbookcam.example.org/update");

}  // namespace

class UrlLabelTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        desktop_ = std::make_unique<testing::FakeDesktop>();
        host_ = std::make_unique<QWidget>();
        host_->setFixedSize(300, 120);
        label_ = new TUrlLabel(host_.get());
        label_->SetCaption(QStringLiteral("Update..."));
        label_->SetURL(kAddress);
        label_->SetFontColor(kNormal);
        label_->move(40, 40);
        host_->show();
        QVERIFY(QTest::qWaitForWindowExposed(host_.get()));
        PointerAway();
    }

    void cleanup() {
        host_.reset();
        desktop_.reset();
    }

    void Text_IsTheCaption_OrTheAddressWithoutOne() {
        TUrlLabel label;
        label.SetURL(kAddress);
        QCOMPARE(label.text(), kAddress);
        label.SetCaption(QStringLiteral("Update..."));
        QCOMPARE(label.text(), QStringLiteral("Update..."));
        label.SetURL(QStringLiteral("https://elsewhere.example.org/"));
        QCOMPARE(label.text(), QStringLiteral("Update..."));
        label.SetCaption(QString());
        QCOMPARE(label.text(), QStringLiteral("https://elsewhere.example.org/"));
        // The ordinary label sizes itself to its text.
        QCOMPARE(label.size(), label.sizeHint());
    }

    void Hover_Highlights_AndEndsAfterThePointerLeavesWithoutMoving() {
        Hover();
        QCOMPARE(label_->FontColor(), kHighlight);
        QVERIFY(label_->Highlighted());
        // While the pointer stays, the timer's ticks keep the highlight.
        QTRY_COMPARE(QCursor::pos(), label_->mapToGlobal(label_->rect().center()));
        QTest::qWait(350);
        QCOMPARE(label_->FontColor(), kHighlight);

        // No further event reaches the label: the hover timer alone notices the pointer has gone.
        PointerAway();
        QTRY_COMPARE(label_->FontColor(), kNormal);
        QVERIFY(!label_->Highlighted());
        QCOMPARE(HoverTimers(), 0);
    }

    void Hover_Repeated_MakesOneTimer() {
        const int before = HoverTimers();
        Hover();
        Hover(QPoint(2, 2));
        Hover();
        QCOMPARE(HoverTimers(), before + 1);
        QCOMPARE(label_->FontColor(), kHighlight);
    }

    void Hover_OutsideTheLabel_DoesNotHighlight() {
        // A move reported outside the client rectangle (the label grabs the mouse while pressed).
        SendMove(QPoint(label_->width() + 5, label_->height() + 5));
        QVERIFY(!label_->Highlighted());
        QCOMPARE(label_->FontColor(), kNormal);
    }

    void ColourSetters_MakeTheNextHoverTakeTheFontColourOfThatMoment() {
        Hover();
        PointerAway();
        QTRY_VERIFY(!label_->Highlighted());

        label_->SetFontColor(Qt::darkGreen);
        label_->SetHighlightColor(Qt::yellow);
        Hover();
        QCOMPARE(label_->FontColor(), QColor(Qt::yellow));
        PointerAway();
        QTRY_COMPARE(label_->FontColor(), QColor(Qt::darkGreen));

        // "No colour" stands for the font's current colour.
        label_->SetHighlightColor(QColor());
        QCOMPARE(label_->HighlightColor(), QColor(Qt::darkGreen));
    }

    void Click_OpensTheAddress_AndBeepsOnlyWhenThatFails() {
        int clicks = 0;
        label_->OnClick = [&clicks] { ++clicks; };
        QTest::mouseClick(label_, Qt::LeftButton, {}, label_->rect().center());
        QCOMPARE(desktop_->openedUrls, std::vector<std::string>{kAddress.toStdString()});
        QCOMPARE(desktop_->beeps, 0);
        QCOMPARE(clicks, 1);

        desktop_->openSucceeds = false;
        QTest::mouseClick(label_, Qt::LeftButton, {}, label_->rect().center());
        QCOMPARE(desktop_->openedUrls.size(), std::size_t{2});
        QCOMPARE(desktop_->beeps, 1);
        QCOMPARE(clicks, 2);
        QCOMPARE(label_->FontColor(), kNormal);  // a failure changes nothing else
    }

    void Click_WithoutAddress_OpensNothing_AndDoesNotBeep() {
        int clicks = 0;
        label_->OnClick = [&clicks] { ++clicks; };
        label_->SetURL(QString());
        desktop_->openSucceeds = false;
        QTest::mouseClick(label_, Qt::LeftButton, {}, label_->rect().center());
        QVERIFY(desktop_->openedUrls.empty());
        QCOMPARE(desktop_->beeps, 0);
        QCOMPARE(clicks, 1);
    }

    void Click_CutsLongAddresses_WithoutSplittingACharacter() {
        const QString start = QStringLiteral("https://example.org/");
        label_->SetURL(start + QString(1100, QLatin1Char('a')));
        label_->Click();
        QCOMPARE(desktop_->openedUrls.back(),
                 (start + QString(1023 - start.size(), QLatin1Char('a'))).toStdString());

        // A character outside the basic plane at the last place is kept whole.
        const QString face = QString::fromUtf8("\xF0\x9F\x98\x80");
        const QString head = start + QString(1022 - start.size(), QLatin1Char('b'));
        label_->SetURL(head + face + QStringLiteral("zz"));
        label_->Click();
        QCOMPARE(desktop_->openedUrls.back(), (head + face).toStdString());
    }

    void Click_WithVisitedColour_ShowsItOnceTheHighlightEnds() {
        label_->SetUseVisitedColor(true);
        label_->SetVisitedColor(Qt::darkMagenta);
        Hover();
        QTest::mouseClick(label_, Qt::LeftButton, {}, label_->rect().center());
        QCOMPARE(label_->FontColor(), kHighlight);
        PointerAway();
        QTRY_COMPARE(label_->FontColor(), QColor(Qt::darkMagenta));

        // Without the visited colour a click leaves the label's own colour.
        label_->SetUseVisitedColor(false);
        label_->SetFontColor(kNormal);
        label_->SetHighlightColor(kHighlight);
        Hover();
        label_->Click();
        PointerAway();
        QTRY_COMPARE(label_->FontColor(), kNormal);
    }

    void Destroy_WhileHighlighted_StopsTheTimer() {
        Hover();
        QPointer<QTimer> timer = label_->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(timer);
        delete label_;
        QVERIFY(timer.isNull());
        QTest::qWait(250);  // ticks that were due must not reach the freed label
    }

private:
    // The pointer onto the label and a move event there, as the window system would deliver it.
    void Hover(QPoint position = QPoint(-1, -1)) {
        if (position == QPoint(-1, -1)) position = label_->rect().center();
        QCursor::setPos(label_->mapToGlobal(position));
        SendMove(position);
    }

    // Delivered directly: a move made by warping the pointer would arrive whenever the server sends it.
    void SendMove(QPoint position) {
        QMouseEvent move(QEvent::MouseMove, position, label_->mapToGlobal(position), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(label_, &move);
    }

    void PointerAway() { QCursor::setPos(host_->mapToGlobal(QPoint(290, 110))); }

    int HoverTimers() const {
        return static_cast<int>(label_->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).size());
    }

    std::unique_ptr<testing::FakeDesktop> desktop_;
    std::unique_ptr<QWidget> host_;
    TUrlLabel* label_ = nullptr;
};

}  // namespace flipbook

QTEST_MAIN(flipbook::UrlLabelTest)
#include "url_label_test.moc"
